#include "tools/morsehandler/morsetranslator.h"

#include "testfiles.h"

#include <gtest/gtest.h>

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
    testfiles::writeFile(dir.filePath(name), content);
    return dir.filePath(name);
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

TEST(TranslatorDecoding, EachOfTheEightSymbolCodesHasItsTextAndOtherCodesNone)
{
    MorseTranslator translator;
    const QStringList texts = {
        ".", "-", "c", "w", "\n", "[DOT_TOO_SHORT]", "[DASH_TOO_LONG]", "[PAUSE_TOO_SHORT]"};
    const int codes[] = {0, 1, 3, 4, 5, 64, 65, 66};
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(translator.DecodeSymbol(codes[i]), texts.at(i)) << codes[i];
    for (int code : {2, 6, 63, 67, 127, 128, 192, -1})
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

TEST(TranslatorDecoding, SmallestTextWinsASharedCodeAndEmptyLongOrOddCodesStillMatch)
{
    // A line without a TAB is a text with an empty code; 31 elements are the most that pack
    // into one index key, so the 31- and 32-element codes must not meet.
    QTemporaryDir dir;
    MorseTranslator translator;
    const QByteArray dots31(31, '.');
    ASSERT_TRUE(translator.SetMorseAlphabet(
        writeAlphabet(dir, QStringLiteral("Shared.mal"),
                      "Z\t.-\nB\t.-\nA\t.-\nEMPTY\nLONG\t" + QByteArray(40, '.') +
                          "\nODD\t.x-\nD31\t" + dots31 + "\nL32\t-" + dots31 + "\n")));
    const QString longCodes = QString(40, QLatin1Char('.')) + "c-" + dots31 + "c" + dots31 + "c";
    EXPECT_EQ(translator.Translate("c.x-c.-w" + longCodes), QStringLiteral("EMPTYODDA LONGL32D31"));
}

TEST(TranslatorCopies, CopiesAndMovesDecodeOnTheirOwnAndMovedFromOnesStartEmpty)
{
    QTemporaryDir dir;
    MorseTranslator original = builtIn();
    MorseTranslator copy(original);
    MorseTranslator assigned;
    assigned = original;
    assigned = assigned;
    MorseTranslator moveSource = builtIn();
    MorseTranslator moved(std::move(moveSource));
    MorseTranslator moveAssignSource = builtIn();
    MorseTranslator moveAssigned = builtIn();
    moveAssigned = std::move(moveAssignSource);
    original.SetMorseAlphabet(writeAlphabet(dir, QStringLiteral("X.mal"), "X\t.-\n"));
    EXPECT_EQ(original.DecodeMorse(QStringLiteral(".-")), QStringLiteral("X"));
    for (MorseTranslator* other : {&copy, &assigned, &moved, &moveAssigned})
        EXPECT_EQ(other->DecodeMorse(QStringLiteral(".-")), QStringLiteral("A"));
    for (MorseTranslator* left : {&moveSource, &moveAssignSource}) {
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
