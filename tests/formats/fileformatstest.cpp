// Each case is a file under tests/data/<format>/ with its expected reading beside it
// (<case>.expected): a first line "rtl: true|false", then the table in its iteration order.
// A new case is a new pair of files, and runs as its own named case of a parameterised test
// (for instance AlphabetFiles/DataFile.ReadsAsExpected/arabic_utf8).

#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/mapfilereader.h"

#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <string>
#include <vector>

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

using TableReader = bool (*)(const QString&, QMap<char, ushort>&, bool&);

/// The reading of the codec or map file @p path by @p read, in the form of the .expected files.
QString readTable(TableReader read, const QString& path)
{
    QMap<char, ushort> table;
    bool rightToLeft = false;
    EXPECT_TRUE(read(path, table, rightToLeft));
    return describe(table, rightToLeft);
}

/// The case files of @p format matching @p pattern, as absolute paths.
std::vector<QString> cases(const char* format, const char* pattern)
{
    std::vector<QString> paths;
    const QDir dir(formatDir(format));
    for (const QString& name : dir.entryList({QLatin1String(pattern)}, QDir::Files, QDir::Name))
        paths.push_back(dir.absoluteFilePath(name));
    return paths;
}

/// A case's name: its file name up to the first dot.
std::string caseName(const ::testing::TestParamInfo<QString>& info)
{
    return QFileInfo(info.param).fileName().section(QLatin1Char('.'), 0, 0).toStdString();
}

/// The reading of the case file @p path by the reader its suffix names, in the form of the
/// .expected files.
QString readCase(const QString& path)
{
    if (path.endsWith(QLatin1String(".codec")))
        return readTable(&morse::CodecFileReader::Read, path);
    if (path.endsWith(QLatin1String(".map")))
        return readTable(&morse::MapFileReader::Read, path);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    QMap<QString, QString> map;
    bool rightToLeft = true;
    morse::AlphabetFileReader::Read(file, map, rightToLeft);
    QString text = describe(rightToLeft);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        text += it.key() + QLatin1Char('\t') + it.value() + QLatin1Char('\n');
    return text;
}

class DataFile : public ::testing::TestWithParam<QString>
{
};

} // namespace

TEST_P(DataFile, ReadsAsExpected)
{
    EXPECT_EQ(readCase(GetParam()), readExpected(GetParam()));
}
INSTANTIATE_TEST_SUITE_P(AlphabetFiles, DataFile, ::testing::ValuesIn(cases("mal", "*.mal")),
                         caseName);
INSTANTIATE_TEST_SUITE_P(CodecFiles, DataFile, ::testing::ValuesIn(cases("codec", "*.codec")),
                         caseName);
INSTANTIATE_TEST_SUITE_P(MapFiles, DataFile, ::testing::ValuesIn(cases("map", "*.map")), caseName);

TEST(AlphabetFile, ReadingReplacesThePreviousMap)
{
    QFile file(formatDir("mal") + QStringLiteral("/directive_lr.mal"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QMap<QString, QString> map{{QStringLiteral("Z"), QStringLiteral("--..")}};
    bool rightToLeft = true;
    morse::AlphabetFileReader::Read(file, map, rightToLeft);
    EXPECT_FALSE(map.contains(QStringLiteral("Z")));
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
