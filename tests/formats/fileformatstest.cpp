// Each case is a file under tests/data/<format>/ with its expected reading beside it
// (<case>.expected): a first line "rtl: true|false", then the table in its iteration order.
// A new case is a new pair of files.

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/mapfilereader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

QString formatDir(const char* format)
{
    return QStringLiteral(MORSE_TEST_DATA_DIR "/") + QLatin1String(format);
}

QString readExpected(const QString& casePath)
{
    const QString base =
        casePath.left(casePath.indexOf(QLatin1Char('.'), casePath.lastIndexOf('/')));
    QFile file(base + QStringLiteral(".expected"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
    return QString::fromUtf8(file.readAll());
}

QString describe(bool rightToLeft)
{
    return QStringLiteral("rtl: %1\n").arg(rightToLeft ? "true" : "false");
}

QString describe(const QMap<char, ushort>& table, bool rightToLeft)
{
    QString text = describe(rightToLeft);
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        text += QStringLiteral("0x%1 0x%2\n")
                    .arg(static_cast<unsigned char>(it.key()), 2, 16, QLatin1Char('0'))
                    .arg(it.value(), 4, 16, QLatin1Char('0'));
    return text;
}

QStringList cases(const char* format, const QString& pattern)
{
    QStringList paths;
    const QDir dir(formatDir(format));
    for (const QString& name : dir.entryList({pattern}, QDir::Files, QDir::Name))
        paths << dir.absoluteFilePath(name);
    EXPECT_FALSE(paths.isEmpty());
    return paths;
}

} // namespace

TEST(AlphabetFile, EveryCaseReadsAsExpected)
{
    for (const QString& path : cases("mal", QStringLiteral("*.mal"))) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QMap<QString, QString> map;
        bool rightToLeft = true;
        morse::AlphabetFileReader::Read(file, map, rightToLeft);
        QString actual = describe(rightToLeft);
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            actual += it.key() + QLatin1Char('\t') + it.value() + QLatin1Char('\n');
        EXPECT_EQ(actual, readExpected(path)) << qPrintable(path);
    }
}

TEST(AlphabetFile, ReadingReplacesThePreviousMap)
{
    QFile file(formatDir("mal") + QStringLiteral("/directive_lr.mal"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QMap<QString, QString> map{{QStringLiteral("Z"), QStringLiteral("--..")}};
    bool rightToLeft = true;
    morse::AlphabetFileReader::Read(file, map, rightToLeft);
    EXPECT_FALSE(map.contains(QStringLiteral("Z")));
}

TEST(CodecFile, EveryCaseReadsAsExpected)
{
    for (const QString& path : cases("codec", QStringLiteral("*.codec"))) {
        QMap<char, ushort> table;
        bool rightToLeft = false;
        ASSERT_TRUE(morse::CodecFileReader::Read(path, table, rightToLeft));
        EXPECT_EQ(describe(table, rightToLeft), readExpected(path)) << qPrintable(path);
    }
}

TEST(MapFile, EveryCaseReadsAsExpected)
{
    for (const QString& path : cases("map", QStringLiteral("*.map"))) {
        QMap<char, ushort> table;
        bool rightToLeft = false;
        ASSERT_TRUE(morse::MapFileReader::Read(path, table, rightToLeft));
        EXPECT_EQ(describe(table, rightToLeft), readExpected(path)) << qPrintable(path);
    }
}

TEST(CodecAndMapFiles, MissingFileChangesNothingAndTablesAccumulate)
{
    QMap<char, ushort> table{{'Z', 0x5A}};
    bool rightToLeft = true;
    EXPECT_FALSE(
        morse::MapFileReader::Read(QStringLiteral("/nonexistent.ita2.map"), table, rightToLeft));
    EXPECT_FALSE(
        morse::CodecFileReader::Read(QStringLiteral("/nonexistent.codec"), table, rightToLeft));
    EXPECT_EQ(table.size(), 1);
    EXPECT_TRUE(rightToLeft);

    ASSERT_TRUE(morse::MapFileReader::Read(
        formatDir("map") + QStringLiteral("/numeric_keys.ita2.map"), table, rightToLeft));
    EXPECT_EQ(table.value('Z'), 0x5A) << "the reader adds to the table without clearing it";
    EXPECT_TRUE(rightToLeft) << "a file without directives leaves the flag as it was";
}
