// The alphabets shipped in data/alphabets. Each has tests/data/alphabets/<Name>.verified: a
// first line "rtl: true|false", then "code TAB text" for letters whose codes were checked
// against two independent public Morse tables.

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/simplemorsehandler.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

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

QString readText(const QString& path)
{
    return QString::fromUtf8(testfiles::contentOf(path));
}

} // namespace

TEST(BundledAlphabets, VerifiedLettersDecodeAndTheDirectoryIsRight)
{
    EXPECT_EQ(names(BUNDLED, "*.mal"), names(VERIFIED, "*.verified"))
        << "every shipped alphabet has verified letters";
    for (const QString& name : names(VERIFIED, "*.verified")) {
        QStringList lines = readText(VERIFIED + '/' + name + ".verified").split('\n');
        lines.removeAll(QString());
        SimpleMorseHandler handler;
        handler.SetAlphabetsDir(BUNDLED);
        ASSERT_TRUE(handler.SetAlphabet(name)) << qPrintable(name);
        EXPECT_EQ(handler.TextDirectionRTL(), lines.takeFirst() == "rtl: true") << qPrintable(name);
        for (const QString& line : lines)
            EXPECT_EQ(handler.Translate(line.section('\t', 0, 0) + ' '), line.section('\t', 1))
                << qPrintable(name + ": " + line);
    }
}

TEST(BundledAlphabets, FilesAreCleanAndNoWordHidesADigitOrLetter)
{
    const QRegularExpression entry(QStringLiteral("^(@TextDirection RL|[^\\t]+\\t[.-]+)$"));
    const QString digitCodes[] = {"-----", ".----", "..---", "...--", "....-",
                                  ".....", "-....", "--...", "---..", "----."};
    for (const QString& name : names(BUNDLED, "*.mal")) {
        const QString text = readText(BUNDLED + '/' + name + ".mal");
        EXPECT_TRUE(text.endsWith('\n') && !text.contains('\r') && !text.contains(QChar(0xFFFD)))
            << qPrintable(name);
        for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
            EXPECT_TRUE(entry.match(line).hasMatch()) << qPrintable(name + ": " + line);

        QFile file(BUNDLED + '/' + name + ".mal");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QMap<QString, QString> map;
        bool rightToLeft = false;
        morse::AlphabetFileReader::Read(file, map, rightToLeft);
        // Decoding gives the smallest text of a code: the first one met in key order.
        QMap<QString, QString> decoded;
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!decoded.contains(it.value())) {
                decoded.insert(it.value(), it.key());
            } else if (it.key().size() == 1) {
                EXPECT_EQ(decoded[it.value()].size(), 1)
                    << qPrintable(name + ": " + decoded[it.value()] + " hides " + it.key());
            }
        }
        for (int digit = 0; digit < 10; ++digit)
            EXPECT_EQ(decoded.value(digitCodes[digit]), QString::number(digit)) << qPrintable(name);
    }
}
