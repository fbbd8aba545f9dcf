// morsetool decode and synth in RTTY mode, run as a user runs them.

#include "rttyclips.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun morsetool(const QStringList& arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(MORSETOOL_PATH), arguments);
    tool.waitForFinished(30000);
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

} // namespace

TEST(RttyCommand, DecodesAClipIntoTextCyrillicOrJsonLines)
{
    const QString mtk2 = rttytest::clipPath(QStringLiteral("peer-mtk2-50-425.flac"));
    struct Case
    {
        QStringList arguments;
        const char* expected;
    };
    const Case cases[] = {
        {{mtk2}, "POGODA W MOSKWE MINUS 5 WETER 270 GRADUSOW 15 M/S"},
        {{QStringLiteral("--codec"), QStringLiteral("MTK-2 Cyrillic"), mtk2},
         "ПОГОДА В МОСКВЕ МИНУС 5 ВЕТЕР 270 ГРАДУСОВ 15 М/С"},
        {{QStringLiteral("--map"), QStringLiteral("MTK-2 Cyrillic - ITA2"), mtk2},
         "ПОГОДА В МОСКВЕ МИНУС 5 ВЕТЕР 270 ГРАДУСОВ 15 М/С"},
        {{QStringLiteral("--format"), QStringLiteral("jsonl"), mtk2},
         "\"baud\":50.00,\"reversed\":false"},
    };
    for (const Case& c : cases) {
        const ToolRun run =
            morsetool(QStringList({QStringLiteral("decode"), QStringLiteral("--mode"),
                                   QStringLiteral("rtty")}) +
                      c.arguments);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.err);
        EXPECT_TRUE(run.out.contains(QString::fromUtf8(c.expected)))
            << qPrintable(c.arguments.join(' ')) << ": " << qPrintable(run.out);
    }
}

TEST(RttyCommand, SynthesizedRecordingDecodesBackAndIsNeverOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cq.flac"));
    const QStringList synth = {
        QStringLiteral("synth"),         QStringLiteral("--mode"), QStringLiteral("rtty"),
        QStringLiteral("CQ DE TEST 73"), QStringLiteral("-o"),     path,
        QStringLiteral("--baud"),        QStringLiteral("75"),     QStringLiteral("--reverse")};
    ASSERT_EQ(morsetool(synth).exitCode, 0);
    EXPECT_EQ(
        morsetool({QStringLiteral("decode"), QStringLiteral("--mode=rtty"), path}).out.trimmed(),
        QStringLiteral("CQ DE TEST 73"));
    EXPECT_NE(morsetool(synth).exitCode, 0);
}

TEST(RttyCommand, BadInputIsToldWithExitCodeTwo)
{
    const QString clip = rttytest::clipPath(QStringLiteral("ours-45-170.flac"));
    const QStringList cases[] = {
        {QStringLiteral("decode"), QStringLiteral("--mode"), QStringLiteral("fsk"), clip},
        {QStringLiteral("decode"), QStringLiteral("--mode"), QStringLiteral("rtty"),
         QStringLiteral("--baud"), QStringLiteral("fast"), clip},
        {QStringLiteral("decode"), QStringLiteral("--mode"), QStringLiteral("rtty"),
         QStringLiteral("--codec"), QStringLiteral("No such"), clip},
        {QStringLiteral("decode"), QStringLiteral("--mode"), QStringLiteral("rtty"),
         QStringLiteral("/no/such/file.flac")},
        {QStringLiteral("synth"), QStringLiteral("--mode"), QStringLiteral("rtty"),
         QStringLiteral("CQ*"), QStringLiteral("-o"), QStringLiteral("x.wav")},
    };
    for (const QStringList& arguments : cases) {
        const ToolRun run = morsetool(arguments);
        EXPECT_EQ(run.exitCode, 2) << qPrintable(arguments.join(' '));
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("morsetool "))) << qPrintable(run.err);
    }
}
