// morsetool map on the bundled codecs, with the catalogue named by the configuration.

#include "qtprinters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ToolRun
{
    int exitCode;
    QString out, err;
};

ToolRun runMap(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("lantern.ini")));
    EXPECT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("DecoderModulesFile=" MORSE_BUNDLED_DATA_DIR "/decodermodules.txt\n");
    config.close();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CFGCENTER_FILE"), config.fileName());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(MORSE_BINARY_DIR "/apps/morsetool/morsetool"),
                  QStringList{"map", "--maps", MORSE_BUNDLED_DATA_DIR "/codecs"} + arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(MapCommand, PrintsEachInputLineThroughTheChosenMapThenTheHistory)
{
    const ToolRun r =
        runMap({"--decoder", "RTTY 50", "--map", "MTK-2 Cyrillic - ITA2", "--history"},
               "ABC\nABC\n\nCAB\r\n");
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QString::fromUtf8("АБЦ\nАБЦ\n\nЦАБ\nАБЦАБЦЦАБ\n"));
}

TEST(MapCommand, ListShowsDefaultThenTheMapsOfAnItaDecoder)
{
    const ToolRun r = runMap({"--decoder", "RTTY 50", "--list"});
    const QStringList list = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(list.size(), 1) << qPrintable(r.err);
    EXPECT_EQ(list.first(), QStringLiteral("Default"));
    for (const QString& name : list.mid(1))
        EXPECT_TRUE(name.endsWith(QStringLiteral(" - ITA2"))) << qPrintable(name);
}

TEST(MapCommand, UnknownDecoderOrMapIsAnInputError)
{
    const ToolRun decoder = runMap({"--decoder", "Nonesuch"});
    EXPECT_EQ(decoder.exitCode, 2);
    EXPECT_TRUE(decoder.err.contains(QStringLiteral("RTTY 50"))) << "the known decoders are named";
    const ToolRun map = runMap({"--decoder", "RTTY 50", "--map", "KOI8-R - ASCII"}, "A\n");
    EXPECT_EQ(map.exitCode, 2);
    EXPECT_TRUE(map.out.isEmpty());
}

TEST(MapCommand, LinesLongerThanItsReadingPiecesComeOutWhole)
{
    // 300 000 bytes in one line, then a short one: the long line is read in pieces, whose
    // boundaries fall inside the CR LF and between any two characters.
    const QByteArray longLine = QByteArray("ABC").repeated(100000);
    const ToolRun r =
        runMap({"--decoder", "RTTY 50", "--map", "MTK-2 Cyrillic - ITA2"}, longLine + "\r\nCAB");
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out == QString::fromUtf8("АБЦ").repeated(100000) + QString::fromUtf8("\nЦАБ\n"))
        << r.out.size();
}
