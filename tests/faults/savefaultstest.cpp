// Session files under storage faults: a full disk, a save directory that takes no files, and
// one removed while the handler writes into it. Reception must go on and publish; what was
// written stays; each failure episode is traced once.

#include "../morse/receptionfixture.h"

#include <QDir>

#include <csignal>
#include <sys/resource.h>
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
    QTemporaryDir dir;
};

TEST_F(SaveFaults, FullDiskKeepsReceptionGoingAndLosesNothingAlreadyWritten)
{
    TraceCapture trace;
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
        EXPECT_EQ(trace.lines.size(), episode);
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

TEST_F(SaveFaults, SaveDirectoryUnderARegularFileTakesNoFilesButReceptionGoesOn)
{
    TraceCapture trace;
    writeFile(path(QStringLiteral("plain")), "not a directory");
    startSaving(path(QStringLiteral("plain/session")));
    send({0, 1, 3, 1, 0, 0, 0, 3, 1, 5});
    EXPECT_EQ(recorder->units, QStringList({"A", "B", "T"}));
    EXPECT_EQ(file(QStringLiteral("plain")), "not a directory");
    EXPECT_EQ(trace.lines.size(), 1);
    EXPECT_TRUE(valueOf(QStringLiteral("/Morse/TextFile")).isEmpty());
}

TEST_F(SaveFaults, ReadOnlySaveDirectoryTakesNoFilesButReceptionGoesOn)
{
    // Permission bits do not stop the superuser; a directory of the process file system
    // refuses new files to everyone.
    QString readOnly = path(QStringLiteral("readonly"));
    ASSERT_TRUE(QDir().mkpath(readOnly));
    if (geteuid() == 0)
        readOnly = QStringLiteral("/proc/self");
    else
        ASSERT_TRUE(
            QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (!QFileInfo(readOnly).isDir())
        GTEST_SKIP() << "no directory that refuses new files to this user";
    const QStringList before = QDir(readOnly).entryList(QDir::Files);

    TraceCapture trace;
    startSaving(readOnly);
    send({0, 1, 3, 1, 0, 0, 0, 3});
    EXPECT_EQ(recorder->units, QStringList({"A", "B"}));
    EXPECT_EQ(trace.lines.size(), 1);
    EXPECT_EQ(QDir(readOnly).entryList(QDir::Files), before);
    EXPECT_TRUE(valueOf(QStringLiteral("/Morse/CodeFile")).isEmpty());
}

TEST_F(SaveFaults, NewSaveDirectoryIsUsedByTheNextWriteAfterTheOldOneFailed)
{
    startSaving(path(QStringLiteral("missing")));
    send({0, 3});
    handler->SetSaveDirectoryPath(dir.path(), QStringLiteral("/Morse/TextFile"),
                                  QStringLiteral("/Morse/CodeFile"),
                                  QStringLiteral("/Morse/XmlFile"));
    send({1, 3});
    EXPECT_EQ(file(TEXT_1), "T");
    EXPECT_EQ(file(CODE_1), "- ");
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
    send({1, 0, 0, 0, 3, 0, 3}); // B E: nowhere to go
    EXPECT_EQ(recorder->units, QStringList({"A", "B", "E"}));
    EXPECT_FALSE(QFileInfo::exists(session)); // not made again behind the user's back
    EXPECT_EQ(trace.lines.size(), 1);

    ASSERT_TRUE(QDir().mkpath(session));
    send({1, 3}); // T
    EXPECT_EQ(file(QStringLiteral("session/") + TEXT_1), "T");
    EXPECT_EQ(file(QStringLiteral("session/") + CODE_1), "- ");
    EXPECT_EQ(trace.lines.size(), 1);
}

TEST_F(SaveFaults, SessionFileRemovedWhileOpenIsFollowedByANewOne)
{
    startSaving(dir.path());
    send({0, 1, 3});
    ASSERT_TRUE(QFile::remove(path(TEXT_1)));
    send({1, 3});
    // The text that went into the removed file is gone with it; what follows is kept.
    EXPECT_EQ(file(TEXT_1), "T");
    EXPECT_EQ(file(CODE_1), ".- - ");
}
