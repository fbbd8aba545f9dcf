// morsetool map on the bundled codecs, with the catalogue named by the configuration.

#include "morsetoolrun.h"
#include "qtprinters.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

MorsetoolRun runMap(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("lantern.ini"));
    testfiles::writeFile(config,
                         "DecoderModulesFile=" MORSE_BUNDLED_DATA_DIR "/decodermodules.txt\n");
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("CFGCENTER_FILE"), config);
    return runMorsetool(QStringList{"map", "--maps", MORSE_BUNDLED_DATA_DIR "/codecs"} + arguments,
                        input, environment);
}

} // namespace

TEST(MapCommand, PrintsEachInputLineThroughTheChosenMapThenTheHistory)
{
    const MorsetoolRun r =
        runMap({"--decoder", "RTTY 50", "--map", "MTK-2 Cyrillic - ITA2", "--history"},
               "ABC\nABC\n\nCAB\r\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.text(), QString::fromUtf8("АБЦ\nАБЦ\n\nЦАБ\nАБЦАБЦЦАБ\n"));
}

TEST(MapCommand, ListShowsDefaultThenTheMapsOfAnItaDecoder)
{
    const MorsetoolRun r = runMap({"--decoder", "RTTY 50", "--list"});
    const QStringList list = r.text().split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(list.size(), 1) << r.err.constData();
    EXPECT_EQ(list.first(), QStringLiteral("Default"));
    for (const QString& name : list.mid(1))
        EXPECT_TRUE(name.endsWith(QStringLiteral(" - ITA2"))) << qPrintable(name);
}

TEST(MapCommand, UnknownDecoderOrMapIsAnInputError)
{
    const MorsetoolRun decoder = runMap({"--decoder", "Nonesuch"});
    EXPECT_EQ(decoder.exitCode, 2);
    EXPECT_TRUE(decoder.err.contains("RTTY 50")) << "the known decoders are named";
    const MorsetoolRun map = runMap({"--decoder", "RTTY 50", "--map", "KOI8-R - ASCII"}, "A\n");
    EXPECT_EQ(map.exitCode, 2);
    EXPECT_TRUE(map.out.isEmpty());
}

TEST(MapCommand, LinesLongerThanItsReadingPiecesComeOutWhole)
{
    // 300 000 bytes in one line, then a short one: the long line is read in pieces, whose
    // boundaries fall inside the CR LF and between any two characters.
    const QByteArray longLine = QByteArray("ABC").repeated(100000);
    const MorsetoolRun r =
        runMap({"--decoder", "RTTY 50", "--map", "MTK-2 Cyrillic - ITA2"}, longLine + "\r\nCAB");
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.text() ==
                QString::fromUtf8("АБЦ").repeated(100000) + QString::fromUtf8("\nЦАБ\n"))
        << r.out.size();
}
