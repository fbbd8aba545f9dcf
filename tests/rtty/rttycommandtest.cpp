// morsetool decode and synth in RTTY mode, run as a user runs them.

#include "morsetoolrun.h"
#include "rttyclips.h"
#include "testfiles.h"
#include "tests/faults/readonlydirectory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QStringList DECODE_RTTY = {"decode", "--mode", "rtty"};

} // namespace

TEST(RttyCommand, DecodesAClipIntoTextCyrillicOrJsonLines)
{
    const QString mtk2 = rttytest::clipPath(QStringLiteral("peer-mtk2-50-425.flac"));
    struct Case
    {
        QStringList arguments;
        const char* expected;
    };
    const char* const cyrillic = "ПОГОДА В МОСКВЕ МИНУС 5 ВЕТЕР 270 ГРАДУСОВ 15 М/С";
    const Case cases[] = {
        {{mtk2}, "POGODA W MOSKWE MINUS 5 WETER 270 GRADUSOW 15 M/S"},
        {{"--codec", "MTK-2 Cyrillic", mtk2}, cyrillic},
        {{"--map", "MTK-2 Cyrillic - ITA2", mtk2}, cyrillic},
        {{"--format", "jsonl", "--start-time", "2024-03-05T07:08:09", mtk2},
         "\"baud\":50,\"end\":\"2024-03-05T07:08:"},
        {{"--format", "jsonl", mtk2}, "\"mark_hz\":"},
        {{"--format", "jsonl", mtk2}, "\"snr_db\":"},
    };
    for (const Case& c : cases) {
        const MorsetoolRun run = runMorsetool(DECODE_RTTY + c.arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        EXPECT_TRUE(run.text().contains(QString::fromUtf8(c.expected)))
            << qPrintable(c.arguments.join(' ')) << ": " << qPrintable(run.text());
    }
}

TEST(RttyCommand, SynthesizedRecordingDecodesBackAndIsNeverOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cq.flac"));
    const QStringList synth = {"synth", "--mode", "rtty", "CQ DE TEST 73", "-o",
                               path,    "--baud", "75",   "--reverse"};
    ASSERT_EQ(runMorsetool(synth).exitCode, 0);
    EXPECT_EQ(runMorsetool({"decode", "--mode=rtty", path}).out.trimmed(), "CQ DE TEST 73");
    EXPECT_NE(runMorsetool(synth).exitCode, 0);
}

TEST(RttyCommand, BadInputIsToldWithExitCodeTwo)
{
    const QString clip = rttytest::clipPath(QStringLiteral("ours-45-170.flac"));
    const QStringList cases[] = {
        {"decode", "--mode", "fsk", clip},
        DECODE_RTTY + QStringList{"--baud", "fast", clip},
        DECODE_RTTY + QStringList{"--codec", "No such", clip},
        DECODE_RTTY + QStringList{"/no/such/file.flac"},
        {"synth", "--mode", "rtty", "CQ*", "-o", "x.wav"},
    };
    for (const QStringList& arguments : cases) {
        const MorsetoolRun run = runMorsetool(arguments);
        EXPECT_EQ(run.exitCode, 2) << qPrintable(arguments.join(' '));
        EXPECT_TRUE(run.err.startsWith("morsetool ")) << run.err.constData();
    }
}

TEST(RttyCommand, SavesCodeTextAndReportOrTellsWhyItCannot)
{
    const QString mtk2 = rttytest::clipPath(QStringLiteral("peer-mtk2-50-425.flac"));
    QTemporaryDir dir;
    const QString save = dir.filePath(QStringLiteral("saved"));
    const QStringList arguments =
        DECODE_RTTY +
        QStringList{"--codec", "MTK-2 Cyrillic", "--start-time", "2024-03-05T07:08:09", "--save"};
    const MorsetoolRun run = runMorsetool(arguments + QStringList{save, mtk2});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QString cyrillic = QStringLiteral("ПОГОДА В МОСКВЕ");
    EXPECT_TRUE(run.text().contains(cyrillic));
    // The decoder's own letters go to the code file, the translation to the text file, and one
    // frame per character to the report, stamped from the recording's start.
    EXPECT_TRUE(testfiles::onlyFile(save, QStringLiteral("*_RTTY__50Bd_42?Hz.txt"))
                    .contains(QStringLiteral("POGODA W MOSKWE")));
    EXPECT_TRUE(testfiles::onlyFile(save, QStringLiteral("*_RTTY__50Bd_42?Hz__MTK-2 Cyrillic.txt"))
                    .contains(cyrillic));
    const QString report = testfiles::onlyFile(save, QStringLiteral("OrielResultData_*.xml"));
    EXPECT_TRUE(report.contains(QStringLiteral("start=\"2024-03-05T07:08:"))) << qPrintable(report);
    EXPECT_TRUE(report.contains(QStringLiteral(">Д</Frame>")));
    EXPECT_TRUE(run.err.contains("report: "));

    // A second run never overwrites the first one's files.
    ASSERT_EQ(runMorsetool(arguments + QStringList{save, mtk2}).exitCode, 0);
    EXPECT_EQ(QDir(save).entryList(QDir::Files).size(), 6);

    // A directory that cannot be made is bad input; one that takes no file loses the text,
    // which is told and fails the run, while the text is still printed.
    testfiles::writeFile(dir.filePath(QStringLiteral("plain")), "");
    EXPECT_EQ(runMorsetool(arguments + QStringList{dir.filePath(QStringLiteral("plain/sub")), mtk2})
                  .exitCode,
              2);
    const QString readOnly = readOnlyDirectory(dir);
    if (readOnly.isEmpty())
        GTEST_SKIP() << "no directory that refuses files";
    const MorsetoolRun refused = runMorsetool(arguments + QStringList{readOnly, mtk2});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.text().contains(cyrillic));
    EXPECT_TRUE(refused.err.contains("saving: cannot write")) << refused.err.constData();
}
