// Session files under storage faults: a full disk, a save directory that takes no files, and
// one removed while the handler writes into it. Reception must go on and publish; what was
// written stays; each failure episode is traced once.

#include "../morse/receptionfixture.h"
#include "readonlydirectory.h"

#include <QDir>
#include <QRegularExpression>

#include "tools/morsehandler/sessionfile.h"

#include <QCoreApplication>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString CODE_1 = QStringLiteral("20240305_070809_1_MO__.txt");
const QString TEXT_1 = QStringLiteral("20240305_070809_1_MO____Default.txt");

/// While alive, every write that would grow a file of this process past @p nBytes fails with
/// EFBIG, as on a full disk: the file-size limit is lowered and SIGXFSZ ignored. Both are
/// restored afterwards, before any test output can be written to a file.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t nBytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{nBytes, m_saved.rlim_max};
        m_bActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    bool active() const { return m_bActive; }

private:
    rlimit m_saved{};
    void (*m_previousHandler)(int) = SIG_DFL;
    bool m_bActive = false;
};

} // namespace

class SaveFaults : public ReceptionTest
{
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QString file(const QString& name) const { return QString::fromUtf8(contentOf(path(name))); }
    /// Records every message of the save-state value.
    void watchSaveState()
    {
        auto* state =
            bind<values::Value<QString>>("SaveState", &MorseHandler::SetSaveState_ValuePath);
        stateRecorder = std::make_unique<TextRecorder>(state);
        state->AddObserver(stateRecorder.get());
    }
    void TearDown() override
    {
        if (stateRecorder)
            find<values::Value<QString>>(QStringLiteral("/Morse/SaveState"))
                ->DeleteObserver(stateRecorder.get());
        ReceptionTest::TearDown();
    }
    static int countContaining(const QStringList& lines, const char* text)
    {
        return static_cast<int>(lines.filter(QLatin1String(text)).size());
    }
    QTemporaryDir dir;
    std::unique_ptr<TextRecorder> stateRecorder;
};

TEST_F(SaveFaults, FullDiskKeepsReceptionGoingAndLosesNothingAlreadyWritten)
{
    TraceCapture trace;
    watchSaveState();
    startSaving(dir.path());
    send({0, 1, 3}); // A
    ASSERT_EQ(file(CODE_1), ".- ");
    ASSERT_EQ(file(TEXT_1), "A");
    {
        FileSizeLimit full(1); // no file may grow past its first byte
        ASSERT_TRUE(full.active());
        send({1, 0, 0, 0, 3, 0, 3}); // B E
    }
    EXPECT_EQ(recorder->units, QStringList({"A", "B", "E"}));
    EXPECT_EQ(trace.lines.size(), 1);

    send({1, 3}); // T: the disk has room again
    // What the full disk refused was held back and follows now, behind the old content.
    EXPECT_EQ(file(TEXT_1), "ABET");
    EXPECT_EQ(file(CODE_1), ".- -... . - ");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    // The episode is told, but as one that lost nothing.
    ASSERT_EQ(stateRecorder->units.size(), 2);
    EXPECT_TRUE(stateRecorder->units.at(1).endsWith(QStringLiteral("lost: 0 characters")))
        << stateRecorder->units.at(1).toStdString();
    EXPECT_FALSE(handler->HasLostSavedData());
}

TEST_F(SaveFaults, EachFailureEpisodeIsTracedOnce)
{
    TraceCapture trace;
    startSaving(dir.path());
    send({0, 3});
    for (int episode = 1; episode <= 3; ++episode) {
        {
            FileSizeLimit full(1);
            for (int i = 0; i < 5; ++i)
                send({0, 3});
        }
        send({0, 3}); // a write that succeeds ends the episode
        EXPECT_EQ(countContaining(trace.lines, "cannot write"), episode);
        EXPECT_EQ(countContaining(trace.lines, "take writes again"), episode);
    }
    ASSERT_FALSE(trace.lines.isEmpty());
    EXPECT_TRUE(trace.lines.first().contains(dir.path())) << trace.lines.first().toStdString();
}

TEST_F(SaveFaults, FullDiskLeavesNoHalfWrittenReport)
{
    auto* xmlSave = add<values::Value<bool>>(QStringLiteral("/Morse/XmlSave"));
    startSaving(dir.path());
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/XmlSave"));
    const QStringList reports = {QStringLiteral("*.xml*")};
    setTimestamps(1700000000000000ULL, 1700000001000000ULL);
    send({0, 1, 3});
    {
        FileSizeLimit full(64); // room for the session files, not for a report
        xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(reports, QDir::Files | QDir::Hidden).isEmpty());

    setTimestamps(1700000002000000ULL, 1700000003000000ULL);
    send({1, 3});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    const QStringList saved = QDir(dir.path()).entryList(reports, QDir::Files | QDir::Hidden);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_TRUE(file(saved.first()).trimmed().endsWith(QStringLiteral("</OrielResultData>")));
}

TEST_F(SaveFaults, TemporaryReportsOfEndedProcessesAreRemovedWhenSavingStarts)
{
    // A process killed while it saved a report leaves its hidden temporary file; one that is
    // still running (here: this one) may be writing its own.
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    ASSERT_GT(ended, 0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const QString stale =
        QStringLiteral(".OrielResultData_2024_03_05__08_08_09.xml.%1.aB3xZ9").arg(ended);
    const QString live = QStringLiteral(".OrielResultData_2024_03_05__08_08_10.xml.%1.Qq12Zz")
                             .arg(QCoreApplication::applicationPid());
    const QStringList others = {QStringLiteral("OrielResultData_2024_03_05__08_08_09.xml"),
                                QStringLiteral(".notes.txt.%1.aB3xZ9").arg(ended),
                                QStringLiteral(".OrielResultData_old.xml.aB3xZ9")};
    for (const QString& name : QStringList{stale, live} + others)
        writeFile(path(name), "<OrielResultData>");

    startSaving(dir.path());
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_FALSE(left.contains(stale));
    EXPECT_TRUE(left.contains(live));
    for (const QString& name : others)
        EXPECT_TRUE(left.contains(name)) << name.toStdString();
}

TEST_F(SaveFaults, SaveDirectoryThatTakesNoFilesIsTracedOnceAndReceptionGoesOn)
{
    // One below a regular file, and a read-only one where this user has such a directory.
    writeFile(path(QStringLiteral("plain")), "not a directory");
    for (const QString& directory :
         {path(QStringLiteral("plain/session")), readOnlyDirectory(dir)}) {
        if (directory.isEmpty())
            continue;
        SCOPED_TRACE(directory.toStdString());
        const QStringList before = QDir(directory).entryList(QDir::Files);
        startHandler();
        recorder->units.clear();
        TraceCapture trace;
        startSaving(directory);
        send({0, 1, 3, 1, 0, 0, 0, 3, 1, 5});
        EXPECT_EQ(recorder->units, QStringList({"A", "B", "T"}));
        EXPECT_EQ(trace.lines.size(), 1);
        EXPECT_EQ(QDir(directory).entryList(QDir::Files), before);
        EXPECT_TRUE(valueOf(QStringLiteral("/Morse/TextFile")).isEmpty());
        EXPECT_TRUE(valueOf(QStringLiteral("/Morse/CodeFile")).isEmpty());
    }
    EXPECT_EQ(file(QStringLiteral("plain")), "not a directory");
}

TEST_F(SaveFaults, NewSaveDirectoryIsUsedByTheNextWriteAfterTheOldOneFailed)
{
    startSaving(path(QStringLiteral("missing")));
    send({0, 3});
    handler->SetSaveDirectoryPath(dir.path(), QStringLiteral("/Morse/TextFile"),
                                  QStringLiteral("/Morse/CodeFile"),
                                  QStringLiteral("/Morse/XmlFile"));
    send({1, 3});
    // What the missing directory could not take is marked where it would have been.
    EXPECT_EQ(file(TEXT_1), "[LOST 1 CHARACTERS]\nT");
    EXPECT_EQ(file(CODE_1), "[LOST 2 CHARACTERS]\n- ");
}

TEST_F(SaveFaults, RemovedSaveDirectoryDropsWritesUntilItIsBackThenStartsNewFiles)
{
    TraceCapture trace;
    const QString session = path(QStringLiteral("session"));
    ASSERT_TRUE(QDir().mkpath(session));
    startSaving(session);
    send({0, 1, 3}); // A
    ASSERT_EQ(valueOf(QStringLiteral("/Morse/TextFile")), QDir(session).filePath(TEXT_1));

    ASSERT_TRUE(QDir(session).removeRecursively());
    // The name is looked at every 64 writes: by then the files are found gone, and the
    // writes that follow have nowhere to go.
    for (int i = 0; i < 70; ++i)
        send({0, 3}); // E
    EXPECT_EQ(recorder->units.size(), 71);
    EXPECT_FALSE(QFileInfo::exists(session)); // not made again behind the user's back
    EXPECT_EQ(countContaining(trace.lines, "cannot write"), 1);

    ASSERT_TRUE(QDir().mkpath(session));
    send({1, 3}); // T
    // A and every E went into the removed files or nowhere: all are counted as lost.
    EXPECT_EQ(file(QStringLiteral("session/") + TEXT_1), "[LOST 71 CHARACTERS]\nT");
    EXPECT_EQ(file(QStringLiteral("session/") + CODE_1), "[LOST 143 CHARACTERS]\n- ");
    EXPECT_EQ(countContaining(trace.lines, "cannot write"), 1);
}

TEST_F(SaveFaults, SessionFileRemovedWhileOpenIsFollowedByANewOneWithTheLossMarked)
{
    watchSaveState();
    startSaving(dir.path());
    send({0, 1, 3}); // A
    ASSERT_TRUE(QFile::remove(path(TEXT_1)));
    // The name is looked at every 64 writes: what went into the removed file meanwhile is
    // counted as lost, and the text goes on in a new file that says so.
    for (int i = 0; i < 70; ++i)
        send({1, 3}); // T
    const QString strText = file(TEXT_1);
    EXPECT_TRUE(strText.startsWith(QStringLiteral("[LOST "))) << strText.toStdString();
    EXPECT_TRUE(strText.endsWith(QStringLiteral("TTT")));
    const int nLost = strText.section(QLatin1Char(' '), 1, 1).toInt();
    const QString strKept = strText.section(QLatin1Char('\n'), 1);
    EXPECT_EQ(nLost + strKept.count(QLatin1Char('T')), 71); // A and 70 T: each kept or counted
    EXPECT_TRUE(handler->HasLostSavedData());
    ASSERT_EQ(stateRecorder->units.size(), 2);
    EXPECT_TRUE(stateRecorder->units.at(1).startsWith(QStringLiteral("writing works again")));
}

TEST_F(SaveFaults, FullDiskEpisodeIsToldWithTheTimeRangeLostAndMarkedInTheFile)
{
    watchSaveState();
    startSaving(dir.path());
    send({0, 1, 3}); // A
    {
        FileSizeLimit full(1);
        ASSERT_TRUE(full.active());
        // More than the file may hold back: the rest is lost.
        handler->SetTimestamp(1700000000000000ULL);
        for (int i = 0; i < morse::SessionFile::HELD_BACK_LIMIT; ++i)
            send({1, 3}); // T
        handler->SetTimestamp(1700000005000000ULL);
        send({1, 3});
    }
    send({0, 3}); // E: the disk has room again
    // The report, full after so many characters, failed to save itself as well.
    const QStringList session = stateRecorder->units.filter(QStringLiteral(".txt"));
    ASSERT_EQ(session.size(), 2) << stateRecorder->units.join('|').toStdString();
    EXPECT_TRUE(session.at(0).startsWith(QStringLiteral("cannot write")))
        << session.at(0).toStdString();
    const QString strEnd = session.at(1);
    EXPECT_TRUE(strEnd.startsWith(QStringLiteral("writing works again"))) << strEnd.toStdString();
    EXPECT_TRUE(strEnd.contains(QStringLiteral("2023-11-14 22:13:20.000 to 2023-11-14 "
                                               "22:13:25.000 UTC")))
        << strEnd.toStdString();
    EXPECT_TRUE(handler->HasLostSavedData());
    // Held text, then the marker of what was lost, then the text that followed.
    const QString strText = file(TEXT_1);
    EXPECT_TRUE(strText.startsWith(QStringLiteral("ATTT")));
    EXPECT_TRUE(strText.contains(QRegularExpression(
        QStringLiteral("T\\n?\\[LOST \\d+ CHARACTERS, 2023-11-14 22:13:20.000 TO "
                       "2023-11-14 22:13:25.000 UTC\\]\\nE$"))))
        << strText.right(120).toStdString();
}

TEST_F(SaveFaults, SessionEndedWhileFailingIsToldAsLost)
{
    watchSaveState();
    startSaving(path(QStringLiteral("missing")));
    send({0, 1, 3});
    handler->EndMorseSession();
    ASSERT_EQ(stateRecorder->units.size(), 2);
    EXPECT_TRUE(stateRecorder->units.at(1).startsWith(QStringLiteral("closed while failing")));
    EXPECT_TRUE(handler->HasLostSavedData());
}

TEST_F(SaveFaults, ReportThatCannotBeSavedIsKeptAndSavedWithWhatFollows)
{
    watchSaveState();
    auto* xmlSave = add<values::Value<bool>>(QStringLiteral("/Morse/XmlSave"));
    const QString session = path(QStringLiteral("session"));
    ASSERT_TRUE(QDir().mkpath(session));
    startSaving(session);
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/XmlSave"));
    setTimestamps(1700000000000000ULL, 1700000001000000ULL);
    send({0, 1, 3}); // A
    ASSERT_TRUE(QDir(session).removeRecursively());
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    ASSERT_FALSE(stateRecorder->units.isEmpty());
    EXPECT_TRUE(stateRecorder->units.last().contains(QStringLiteral(".xml")));

    ASSERT_TRUE(QDir().mkpath(session));
    send({1, 3}); // T
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    const QStringList reports = QDir(session).entryList({QStringLiteral("*.xml")}, QDir::Files);
    ASSERT_EQ(reports.size(), 1);
    const QString xml = QString::fromUtf8(contentOf(QDir(session).filePath(reports.first())));
    EXPECT_TRUE(xml.contains(QStringLiteral(">A<")) && xml.contains(QStringLiteral(">T<")));
    EXPECT_TRUE(stateRecorder->units.last().startsWith(QStringLiteral("writing works again")));
}
