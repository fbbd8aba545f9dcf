// The alphabets shipped in data/alphabets. Each has tests/data/alphabets/<Name>.verified beside
// the tests: a first line "rtl: true|false", then "code TAB text" for letters whose codes were
// checked against two independent public Morse tables.

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QTextCodec>

namespace {

const QString BUNDLED = QStringLiteral(MORSE_BUNDLED_DATA_DIR "/alphabets");
const QString VERIFIED = QStringLiteral(MORSE_TEST_DATA_DIR "/alphabets");

QStringList names(const QString& directory, const QString& pattern)
{
    QStringList result;
    for (const QString& file : QDir(directory).entryList({pattern}, QDir::Files, QDir::Name))
        result << file.left(file.indexOf('.'));
    return result;
}

QMap<QString, QString> readBundled(const QString& name, QByteArray* bytes = nullptr)
{
    QFile file(BUNDLED + '/' + name + ".mal");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
    if (bytes)
        *bytes = file.readAll(), file.seek(0);
    QMap<QString, QString> map;
    bool rightToLeft = false;
    morse::AlphabetFileReader::Read(file, map, rightToLeft);
    return map;
}

} // namespace

TEST(BundledAlphabets, EveryAlphabetShipsWithVerifiedLetters)
{
    EXPECT_EQ(names(BUNDLED, "*.mal"), names(VERIFIED, "*.verified"));
}

TEST(BundledAlphabets, VerifiedLettersDecodeAndTheDirectoryIsRight)
{
    for (const QString& name : names(VERIFIED, "*.verified")) {
        QFile cases(VERIFIED + '/' + name + ".verified");
        ASSERT_TRUE(cases.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(cases.readAll()).split('\n', Qt::SkipEmptyParts);
        SimpleMorseHandler handler;
        handler.SetAlphabetsDir(BUNDLED);
        ASSERT_TRUE(handler.SetAlphabet(name)) << qPrintable(name);
        EXPECT_EQ(handler.TextDirectionRTL(), lines.takeFirst() == "rtl: true") << qPrintable(name);
        for (const QString& line : lines) {
            const QStringList codeAndText = line.split('\t');
            ASSERT_EQ(codeAndText.size(), 2) << qPrintable(line);
            EXPECT_EQ(handler.Translate(codeAndText[0] + ' '), codeAndText[1])
                << qPrintable(name + ": " + codeAndText[0]);
        }
    }
}

TEST(BundledAlphabets, FilesAreCleanUtf8WithOneEntryPerLine)
{
    const QRegularExpression entry(QStringLiteral("^[^\\t]+\\t[.-]+$"));
    for (const QString& name : names(BUNDLED, "*.mal")) {
        QByteArray bytes;
        readBundled(name, &bytes);
        QTextCodec::ConverterState state;
        const QString text =
            QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
        EXPECT_EQ(state.invalidChars, 0) << qPrintable(name);
        EXPECT_TRUE(text.endsWith('\n') && !text.contains('\r')) << qPrintable(name);
        QStringList lines = text.split('\n');
        lines.removeLast();
        if (lines.first() == "@TextDirection RL")
            lines.removeFirst();
        for (const QString& line : lines)
            EXPECT_TRUE(entry.match(line).hasMatch()) << qPrintable(name + ": " + line);
    }
}

TEST(BundledAlphabets, DigitsDecodeAndNoWordShadowsASingleCharacter)
{
    const QString digitCodes[] = {"-----", ".----", "..---", "...--", "....-",
                                  ".....", "-....", "--...", "---..", "----."};
    for (const QString& name : names(BUNDLED, "*.mal")) {
        const QMap<QString, QString> map = readBundled(name);
        // Decoding picks the smallest text of a code: the first one met in key order.
        QMap<QString, QString> winner;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!winner.contains(it.value())) {
                winner.insert(it.value(), it.key());
            } else if (it.key().size() == 1) {
                EXPECT_EQ(winner[it.value()].size(), 1)
                    << qPrintable(name + ": " + winner[it.value()] + " hides " + it.key());
            }
        }
        for (int digit = 0; digit < 10; ++digit)
            EXPECT_EQ(winner.value(digitCodes[digit]), QString::number(digit)) << qPrintable(name);
    }
}
