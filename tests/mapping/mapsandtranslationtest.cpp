// The engine: loading a maps directory, map names, translation and the history.

#include "mappingfixture.h"

#include <string>

namespace {

QString utf8(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

using MapLoading = MappingTest;

TEST_F(MapLoading, ItaMapReplacesCodecAndTheBaseNameEndsAtTheFirstDot)
{
    MappingDirectory d(dataPath("maps"));
    const morse::CharsetMap* greek = Inspect::map(d, eITA2, QStringLiteral("Greek"));
    ASSERT_NE(greek, nullptr);
    EXPECT_EQ(greek->Table().value('A'), 0x0391) << "the .ita2.map table, not the .codec one";
    EXPECT_FALSE(greek->Table().contains('C')) << "nothing of the replaced .codec file remains";
    EXPECT_NE(Inspect::map(d, eITA2, QStringLiteral("My")), nullptr);
    EXPECT_EQ(Inspect::map(d, eITA2, QStringLiteral("LOUD")), nullptr)
        << "a suffix in upper case is listed but not read";
    EXPECT_TRUE(MappingDirectory(dataPath("no such folder")).availableMaps(eBOTH).isEmpty());
}

TEST_F(MapLoading, FullNameSplitsAtTheLastSeparator)
{
    // The other naming rules belong to the codec catalogue and are tested there.
    MappingDirectory d(dataPath("maps"));
    EXPECT_EQ(Inspect::baseCharset(d, QStringLiteral("A - B - ASCII")), eASCII);
    EXPECT_EQ(Inspect::charset(d, QStringLiteral("A - B - ASCII")), QStringLiteral("A - B"));
    EXPECT_EQ(Inspect::charset(d, QStringLiteral("Cyrillic")), QStringLiteral("Cyrillic"));
}

using Translation = MappingTest;

TEST_F(Translation, SelectedMapTranslatesEachCharacterAndDefaultNamesPassTextUnchanged)
{
    MappingDirectory d(dataPath("maps"));
    ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2")));
    EXPECT_EQ(d.translate(QStringLiteral("ABC DZ")), utf8("АБЦ D ")) << "Z maps to 0: a space";
    EXPECT_FALSE(Inspect::switchTo(d, QStringLiteral("Latin - ASCII"))) << "not loaded";
    EXPECT_EQ(d.translate(QStringLiteral("A")), utf8("А")) << "the previous map stays";
    for (const char* name : {"Default", "Default - ASCII", "Defaults - ITA2"}) {
        ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2")));
        EXPECT_TRUE(Inspect::switchTo(d, QLatin1String(name)));
        EXPECT_EQ(d.translate(utf8("ABC Ж")), utf8("ABC Ж")) << name;
    }
}

TEST_F(Translation, TextGoesThroughLatin1BeforeTheMap)
{
    MappingDirectory d(dataPath("maps"));
    EXPECT_EQ(d.translate(utf8("Aü Ж")), utf8("Aü ?")) << "before any map";
    ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("latin - ASCII")));
    EXPECT_EQ(d.translate(utf8("éü Ж")), utf8("Éü ¿")) << "the question mark is mapped too";
    const QString withNul = QString::fromUtf8("A\0B", 3);
    EXPECT_EQ(d.translate(withNul), withNul) << "a NUL character does not end the text";
}

using History = MappingTest;

TEST_F(History, KeepsTheNewestCharactersUpToTheLimit)
{
    MappingDirectory d(dataPath("maps"));
    d.SetMaxNumberOfChars_ValuePath(QStringLiteral("/Map/Max"));
    auto* max = find<values::ValueNumeric<int>>("/Map/Max");
    d.translate(QString(300, 'x'));
    max->SetValue(100, nullptr);
    d.translate(QString());
    EXPECT_EQ(d.TranslateHistory(), QString(100, 'x')) << "empty text still trims";

    Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2"));
    d.translate(QString(60, 'A'));
    d.translate(QString(70, 'B'));
    const QString expected = utf8("А").repeated(30) + utf8("Б").repeated(70);
    EXPECT_EQ(d.TranslateHistory(), expected);
    EXPECT_EQ(d.TranslateHistory(), expected) << "translating the history does not extend it";
    d.ClearHistory();
    EXPECT_EQ(d.TranslateHistory(), QString());

    Inspect::switchTo(d, QStringLiteral("Default"));
    max->SetValue(101, nullptr);
    std::string all;
    for (int line = 0; line < 500; ++line) {
        const std::string text(line % 97, static_cast<char>('a' + line % 26));
        all += text;
        d.translate(QString::fromStdString(text));
        if (line % 37 == 0) {
            ASSERT_EQ(d.TranslateHistory().toStdString(),
                      all.substr(all.size() - std::min<size_t>(all.size(), 101)))
                << "after line " << line;
        }
    }
}
