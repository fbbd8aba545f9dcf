// morsetool decode --save as a child process under the faults of a long run: stop signals, a
// kill, a closed standard output and a save directory that takes nothing. What was read is
// saved, the report is never left broken, and every loss is told and fails the run.

#include "morsetoolrun.h"
#include "readonlydirectory.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <csignal>
#include <unistd.h>

namespace {

/// One over of "CQ" with its times: two timestamps and a line end.
QByteArray over(int n)
{
    const quint64 start = 1700000000000000ULL + quint64(n) * 10000000ULL;
    return QByteArray("@t ") + QByteArray::number(start) + "\n1 0 1 0 3 1 1 0 1 3 4\n@t " +
           QByteArray::number(start + 2000000ULL) + "\n5\n";
}

QByteArray overs(int count)
{
    QByteArray text;
    for (int n = 0; n < count; ++n)
        text += over(n);
    return text;
}

/// The number of reports in @p directory; each must be complete XML.
int wholeReports(const QString& directory)
{
    const QStringList names = QDir(directory).entryList({QStringLiteral("*.xml")}, QDir::Files);
    for (const QString& name : names) {
        QFile file(QDir(directory).filePath(name));
        file.open(QIODevice::ReadOnly);
        QXmlStreamReader xml(&file);
        while (!xml.atEnd())
            xml.readNext();
        EXPECT_FALSE(xml.hasError()) << qPrintable(name) << " is broken";
    }
    return int(names.size());
}

/// The text of every session text file in @p directory, oldest first.
QString textFilesOf(const QString& directory)
{
    QString text;
    for (const QString& name :
         QDir(directory).entryList({QStringLiteral("*__Default.txt")}, QDir::Files, QDir::Name))
        text += QString::fromUtf8(testfiles::contentOf(QDir(directory).filePath(name)));
    return text;
}

/// Starts "morsetool decode --save DIR -" and feeds it @p input, leaving its standard input
/// open; true once it has printed @p expected.
bool startDecoding(QProcess& process, const QString& directory, const QByteArray& input,
                   const QByteArray& expected, const QStringList& more = {})
{
    process.start(morsetoolPath(),
                  QStringList{"decode", "--save", directory} + more + QStringList{"-"});
    if (!process.waitForStarted())
        return false;
    process.write(input);
    QByteArray out;
    while (!out.contains(expected) && process.waitForReadyRead(20000))
        out += process.readAllStandardOutput();
    return out.contains(expected);
}

} // namespace

TEST(MorsetoolShutdown, StopSignalsFinishWhatWasReadSaveTheReportAndExitWithTheSignalsCode)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QTemporaryDir dir;
        QProcess process;
        ASSERT_TRUE(startDecoding(process, dir.path(), overs(3), "CQ \nCQ \nCQ \n"));
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + signal);
        EXPECT_EQ(wholeReports(dir.path()), 1);
        EXPECT_EQ(textFilesOf(dir.path()).count(QStringLiteral("Q ")), 3);
    }
}

TEST(MorsetoolShutdown, StopSignalToABatchStopsItsDecodesCleanlyAndStartsNoMore)
{
    // Two inputs decoded one at a time, each long enough to be running when the signal comes.
    QTemporaryDir dir;
    QStringList inputs;
    for (const char* name : {"first.txt", "second.txt"}) {
        inputs << dir.filePath(QLatin1String(name));
        testfiles::writeFile(inputs.last(), overs(100000)); // 6 MB of codes: seconds of decoding
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString save = dir.filePath(QStringLiteral("save"));
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(morsetoolPath(),
                  QStringList{"decode", "-j", "1", "--output-dir", out, "--save", save} + inputs);
    // The first decode announces its session files once it has decoded a character.
    QByteArray err;
    while (!err.contains("text file:") && process.waitForReadyRead(20000))
        err += process.readAllStandardError();
    ASSERT_TRUE(err.contains("text file:")) << err.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(60000));
    err += process.readAllStandardError();

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 128 + SIGTERM);
    EXPECT_TRUE(err.contains("first.txt: stopped by signal 15")) << err.toStdString();
    EXPECT_TRUE(err.contains("2 inputs: 0 decoded, 0 failed, 1 stopped, 1 not started"))
        << err.toStdString();
    // What was decoded before the stop is kept.
    EXPECT_TRUE(
        testfiles::contentOf(QDir(out).filePath(QStringLiteral("first.txt.txt"))).startsWith("C"));
    EXPECT_FALSE(QFile::exists(QDir(out).filePath(QStringLiteral("second.txt.txt"))));
    EXPECT_GE(wholeReports(save), 1);
}

TEST(MorsetoolShutdown, KillLeavesTheReportsSavedAtEachTransmissionEndWhole)
{
    QTemporaryDir dir;
    QProcess process;
    // With --report-every 0 each line end saves the report: once the second over is printed,
    // the first one's report is on disk.
    ASSERT_TRUE(startDecoding(process, dir.path(), overs(2), "CQ \nCQ ", {"--report-every", "0"}));
    process.kill();
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_GE(wholeReports(dir.path()), 1);
}

TEST(MorsetoolShutdown, ClosedStandardOutputStopsPrintingAndKeepsSaving)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("overs.txt"));
    testfiles::writeFile(input, overs(25000)); // 100 KB of text: more than a pipe holds
    const QString save = dir.filePath(QStringLiteral("save"));
    const QString err = dir.filePath(QStringLiteral("err.txt"));
    // A reader that goes away after ten bytes, as "| head" does.
    QProcess process;
    process.start(QStringLiteral("bash"),
                  {QStringLiteral("-c"),
                   QStringLiteral("\"$0\" decode --save \"$1\" \"$2\" 2>\"$3\" | head -c 10 "
                                  ">/dev/null; exit ${PIPESTATUS[0]}"),
                   morsetoolPath(), save, input, err});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1); // the text could not all be written
    EXPECT_TRUE(testfiles::contentOf(err).contains("standard output"));
    EXPECT_GE(wholeReports(save), 1);
    EXPECT_EQ(textFilesOf(save).count(QStringLiteral("Q ")), 25000);
}

TEST(MorsetoolShutdown, SaveDirectoryThatTakesNothingIsToldAndFailsTheRun)
{
    // Without @t lines there is no report: only the session files can tell the loss.
    QTemporaryDir dir;
    const QString readOnly = readOnlyDirectory(dir);
    ASSERT_FALSE(readOnly.isEmpty());
    const MorsetoolRun run =
        runMorsetool({"decode", "--save", readOnly, "-"}, "1 0 1 0 3 1 1 0 1 3 4\n");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("saving: cannot write")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("closed while failing")) << run.err.constData();
    EXPECT_EQ(run.out, "CQ \n");
}
