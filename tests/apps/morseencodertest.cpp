// Text to symbol codes through the built-in alphabet and through alphabet files.

#include "morseencoder.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

QString symbols(const MorseEncoder& encoder, const QString& text, QString* unknown = nullptr)
{
    QVector<int> codes;
    QString missing;
    encoder.encode(text, codes, missing);
    if (unknown)
        *unknown = missing;
    return MorseEncoder::symbolText(codes);
}

} // namespace

TEST(MorseEncoder, BuiltInAlphabetSpellsTextLetterByLetter)
{
    const MorseEncoder encoder;
    const struct
    {
        QString text;
        QString symbols;
        QString unknown;
    } cases[] = {
        {"ab", ".-c-...c", ""},
        {
            "A  B",
            ".-cw-...c",
            "",
        },                                   // a run of blanks is one word end
        {"E\nT", ".c\n-c", ""},              // a line feed ends the line
        {"ERROR", ".c.-.c.-.c---c.-.c", ""}, // whole words of the table are not used
        {"a~b~", ".-c-...c", "~"},           // each unknown character named once
    };
    for (const auto& c : cases) {
        QString unknown;
        EXPECT_EQ(symbols(encoder, c.text, &unknown), c.symbols) << qPrintable(c.text);
        EXPECT_EQ(unknown, c.unknown) << qPrintable(c.text);
    }
}

TEST(MorseEncoder, AlphabetFileWinsWithItsLongestTextAndAnyCase)
{
    QTemporaryDir dir;
    testfiles::writeFile(dir.filePath(QStringLiteral("Test.mal")),
                         "A\t.-\nCH\t----\nC\t-.-.\nH\t....\n@\t.--.-.\n");
    MorseEncoder encoder;
    QString error;
    ASSERT_TRUE(encoder.loadAlphabet(dir.path(), QStringLiteral("test"), error))
        << qPrintable(error);
    EXPECT_EQ(symbols(encoder, QStringLiteral("ach@")), ".-c----c.--.-.c");
    EXPECT_EQ(symbols(encoder, QStringLiteral("hc")), "....c-.-.c");
    EXPECT_EQ(encoder.characterCodes().value(QLatin1Char('@')), QStringLiteral(".--.-."));
    EXPECT_FALSE(encoder.characterCodes().contains(QLatin1Char('B')));
    EXPECT_FALSE(encoder.loadAlphabet(dir.path(), QStringLiteral("Klingon"), error));
    EXPECT_TRUE(error.contains(QStringLiteral("Klingon")));
}
