#include "tools/morsehandler/morsetranslator.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <utility>

namespace {

MorseTranslator builtIn()
{
    MorseTranslator translator;
    translator.SetMorseAlphabet(QString());
    return translator;
}

QString writeAlphabet(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return file.fileName();
}

} // namespace

TEST(TranslatorDecoding, NewTranslatorKnowsNothingUntilAnAlphabetIsSelected)
{
    MorseTranslator translator;
    EXPECT_EQ(translator.DecodeMorse(QStringLiteral(".-")), QString());
    EXPECT_FALSE(translator.SetMorseAlphabet(QString()));
    EXPECT_EQ(translator.DecodeMorse(QStringLiteral(".-")), QStringLiteral("A"));
    EXPECT_EQ(translator.AlphabetMap().size(), 53);
}

TEST(TranslatorDecoding, SymbolCodesHaveFixedTexts)
{
    MorseTranslator translator;
    EXPECT_EQ(translator.DecodeSymbol(0), QStringLiteral("."));
    EXPECT_EQ(translator.DecodeSymbol(5), QStringLiteral("\n"));
    EXPECT_EQ(translator.DecodeSymbol(64), QStringLiteral("[DOT_TOO_SHORT]"));
    EXPECT_EQ(translator.DecodeSymbol(66), QStringLiteral("[PAUSE_TOO_SHORT]"));
    for (int code : {2, 6, 63, 67, 127, -1})
        EXPECT_TRUE(translator.DecodeSymbol(code).isEmpty()) << code;
}

TEST(TranslatorDecoding, SymbolStringsTranslateWithCutZeroAndSeparators)
{
    MorseTranslator translator = builtIn();
    const struct
    {
        const char* symbols;
        const char* text;
    } cases[] = {
        {".-c-...w", "AB "},
        {"...---...", ""},
        {"........c", "ERROR"},
        {".-..-c", "WARNING"},
        {"....-c-c", "40"},
        {"....-w-c", "4 T"},
        {".----c....-w-c", "14 0"},
        {"-c-c", "TT"},
        {"cc", ""},
        {"-\n", "T\n"},
        {".-", "A"},
        {"..--..c.-.-.-c", "?."},
        {"-----c-c-c", "000"},
        {"x.-c", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(translator.Translate(QString::fromLatin1(c.symbols)), QString::fromUtf8(c.text))
            << c.symbols;
}

TEST(TranslatorDecoding, SmallestTextWinsASharedCodeAndLongOrOddCodesStillMatch)
{
    QTemporaryDir dir;
    MorseTranslator translator;
    ASSERT_TRUE(translator.SetMorseAlphabet(
        writeAlphabet(dir, QStringLiteral("Shared.mal"),
                      "Z\t.-\nB\t.-\nA\t.-\nLONG\t" + QByteArray(40, '.') + "\nODD\t.x-\n")));
    EXPECT_EQ(translator.Translate(QStringLiteral(".x-c.-w") + QString(40, QLatin1Char('.')) +
                                   QStringLiteral("c")),
              QStringLiteral("ODDA LONG"));
}

TEST(TranslatorCopies, DecodeIndependentlyOfTheOriginal)
{
    QTemporaryDir dir;
    MorseTranslator original = builtIn();
    MorseTranslator copy(original);
    MorseTranslator assigned;
    assigned = original;
    assigned = assigned;
    original.SetMorseAlphabet(writeAlphabet(dir, QStringLiteral("X.mal"), "X\t.-\n"));
    EXPECT_EQ(original.DecodeMorse(QStringLiteral(".-")), QStringLiteral("X"));
    EXPECT_EQ(copy.DecodeMorse(QStringLiteral(".-")), QStringLiteral("A"));
    EXPECT_EQ(assigned.DecodeMorse(QStringLiteral(".-")), QStringLiteral("A"));
}

TEST(TranslatorCopies, MovesTakeTheAlphabetAndLeaveAnEmptyTranslator)
{
    MorseTranslator source = builtIn();
    MorseTranslator constructed(std::move(source));
    MorseTranslator assigned = builtIn();
    MorseTranslator assignedFrom = builtIn();
    assigned = std::move(assignedFrom);
    for (MorseTranslator* moved : {&constructed, &assigned})
        EXPECT_EQ(moved->DecodeMorse(QStringLiteral(".-")), QStringLiteral("A"));
    for (MorseTranslator* left : {&source, &assignedFrom}) {
        EXPECT_EQ(left->DecodeMorse(QStringLiteral(".-")), QString());
        EXPECT_TRUE(left->AlphabetMap().isEmpty());
        left->SetMorseAlphabet(QString());
        EXPECT_EQ(left->Translate(QStringLiteral("-...c")), QStringLiteral("B")) << "still usable";
    }
}

TEST(TranslatorSharedResults, EveryTranslatorOverwritesTheSameResultStrings)
{
    MorseTranslator first = builtIn();
    MorseTranslator second = builtIn();
    const QString& a = first.DecodeMorse(QStringLiteral(".-"));
    const QString& b = second.DecodeMorse(QStringLiteral("-..."));
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(a, QStringLiteral("B"));
    const QString& t = first.Translate(QStringLiteral(".-c"));
    EXPECT_EQ(&t, &second.Translate(QStringLiteral("-c")));
    EXPECT_EQ(t, QStringLiteral("T"));
}
