// The engine: loading a maps directory, map names, translation and the history.

#include "mappingfixture.h"

#include <string>

namespace {

QString repeated(const char* unit, int count)
{
    return QString(QLatin1String(unit)).repeated(count);
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
}

TEST_F(MapLoading, AvailableMapsListItaThenAsciiEachInStringOrder)
{
    MappingDirectory d(dataPath("maps"));
    const QStringList ita2 = {"Cyrillic - ITA2", "Greek - ITA2", "Hebrew - ITA2", "My - ITA2"};
    const QStringList ascii = {"Greek - ASCII", "latin - ASCII"};
    EXPECT_EQ(d.availableMaps(eITA2), ita2);
    EXPECT_EQ(d.availableMaps(eASCII), ascii);
    EXPECT_EQ(d.availableMaps(eBOTH), ita2 + ascii);
    EXPECT_TRUE(d.availableMaps(eNONE).isEmpty());
    EXPECT_TRUE(MappingDirectory(dataPath("no such folder")).availableMaps(eBOTH).isEmpty());
}

TEST_F(MapLoading, FullNameSplitsAtTheLastSeparator)
{
    MappingDirectory d(dataPath("maps"));
    const struct
    {
        const char* fullName;
        eBASE_CHARSET charset;
        const char* baseName;
    } cases[] = {
        {"Cyrillic - ITA2", eITA2, "Cyrillic"},
        {"A - B - ASCII", eASCII, "A - B"},
        {"Cyrillic", eNONE, "Cyrillic"},
        {"X - ita2", eNONE, "X"},
        {"X - ITA2x", eITA2, "X"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Inspect::baseCharset(d, QLatin1String(c.fullName)), c.charset) << c.fullName;
        EXPECT_EQ(Inspect::charset(d, QLatin1String(c.fullName)), QLatin1String(c.baseName));
    }
}

using Translation = MappingTest;

TEST_F(Translation, SelectedMapTranslatesEachCharacterAndLeavesUnmappedOnes)
{
    MappingDirectory d(dataPath("maps"));
    ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2")));
    EXPECT_EQ(d.translate(QStringLiteral("ABC DZ")), QString::fromUtf8("АБЦ D "))
        << "Z maps to the value 0, shown as a space";
    EXPECT_EQ(d.translate(QString()), QString());
}

TEST_F(Translation, EveryDefaultNamePassesTextUnchanged)
{
    MappingDirectory d(dataPath("maps"));
    const QString text = QString::fromUtf8("ABC Ж");
    for (const char* name : {"Default", "Default - ASCII", "Defaults - ITA2"}) {
        ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2")));
        EXPECT_TRUE(Inspect::switchTo(d, QLatin1String(name)));
        EXPECT_EQ(d.translate(text), text) << name;
    }
}

TEST_F(Translation, MapThatIsNotLoadedKeepsThePreviousMap)
{
    MappingDirectory d(dataPath("maps"));
    ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2")));
    EXPECT_FALSE(Inspect::switchTo(d, QStringLiteral("Greek - UNKNOWN")));
    EXPECT_FALSE(Inspect::switchTo(d, QStringLiteral("Latin - ASCII"))) << "names match exactly";
    EXPECT_EQ(d.translate(QStringLiteral("A")), QString::fromUtf8("А"));
}

TEST_F(Translation, TextGoesThroughLatin1BeforeTheMap)
{
    MappingDirectory d(dataPath("maps"));
    EXPECT_EQ(d.translate(QString::fromUtf8("Aü Ж")), QString::fromUtf8("Aü ?"))
        << "before any map: Latin-1 passes, anything else becomes a question mark";
    ASSERT_TRUE(Inspect::switchTo(d, QStringLiteral("latin - ASCII")));
    EXPECT_EQ(d.translate(QString::fromUtf8("éü Ж")), QString::fromUtf8("Éü ¿"))
        << "the question mark itself goes through the map";
    const QString withNul = QString::fromUtf8("A\0B", 3);
    EXPECT_EQ(d.translate(withNul), withNul) << "a NUL character does not end the text";
}

using History = MappingTest;

TEST_F(History, KeepsTheNewestCharactersUpToTheLimit)
{
    MappingDirectory d(dataPath("maps"));
    d.SetMaxNumberOfChars_ValuePath(QStringLiteral("/Map/Max"));
    find<values::ValueNumeric<int>>("/Map/Max")->SetValue(100, nullptr);
    Inspect::switchTo(d, QStringLiteral("Cyrillic - ITA2"));
    d.translate(repeated("A", 60));
    d.translate(repeated("B", 70));
    const QString expected =
        QString::fromUtf8("А").repeated(30) + QString::fromUtf8("Б").repeated(70);
    EXPECT_EQ(d.TranslateHistory(), expected);
    EXPECT_EQ(d.TranslateHistory(), expected) << "translating the history does not extend it";

    find<values::ValueNumeric<int>>("/Map/Max")->SetValue(150, nullptr);
    d.translate(QString());
    EXPECT_EQ(d.TranslateHistory(), expected) << "a larger limit brings nothing back";
    d.ClearHistory();
    EXPECT_EQ(d.TranslateHistory(), QString());
}

TEST_F(History, EmptyTextStillTrimsToTheCurrentLimit)
{
    MappingDirectory d(dataPath("maps"));
    d.SetMaxNumberOfChars_ValuePath(QStringLiteral("/Map/Max"));
    d.translate(repeated("x", 300));
    find<values::ValueNumeric<int>>("/Map/Max")->SetValue(100, nullptr);
    d.translate(QString());
    EXPECT_EQ(d.TranslateHistory(), repeated("x", 100));
}

TEST_F(History, MatchesTheTailOfAllInputOverManyLines)
{
    MappingDirectory d(dataPath("maps"));
    d.SetMaxNumberOfChars_ValuePath(QStringLiteral("/Map/Max"));
    find<values::ValueNumeric<int>>("/Map/Max")->SetValue(101, nullptr);
    std::string all;
    for (int line = 0; line < 500; ++line) {
        const std::string text(line % 97, static_cast<char>('a' + line % 26));
        all += text;
        d.translate(QString::fromStdString(text));
        if (line % 37 == 0) {
            ASSERT_EQ(d.TranslateHistory().toStdString(),
                      all.substr(all.size() > 101 ? all.size() - 101 : 0))
                << "after line " << line;
        }
    }
}

TEST_F(History, WithoutALimitKeepsEverything)
{
    MappingDirectory d(dataPath("maps"));
    d.translate(repeated("0123456789", 2000));
    EXPECT_EQ(d.TranslateHistory().size(), 20000);
}
