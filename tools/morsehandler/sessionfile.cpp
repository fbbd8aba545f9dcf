#include "tools/morsehandler/sessionfile.h"

#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/morsehandler.h"

#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morse {

namespace {

constexpr int MAX_OPEN_ATTEMPTS = 10000;
/// After this many characters since the last inserted line break, a write ends with one.
constexpr int LINE_BREAK_AFTER = 100;

/// Whether anything, even a dangling link, already has the name @p strPath.
bool isNameTaken(const QString& strPath)
{
    const QFileInfo info(FileLocator::writablePath(strPath));
    return info.exists() || info.isSymLink();
}

/// Whether the directory that would hold @p strFilePath exists and may be written.
bool canCreateIn(const QString& strFilePath)
{
    const QFileInfo directory(QFileInfo(strFilePath).absolutePath());
    return directory.isDir() && directory.isWritable();
}

/// Why the session file @p strName could not be opened, when no open was tried.
QString directoryProblem(const QString& strName)
{
    return QStringLiteral("its directory '%1' does not exist or cannot be written")
        .arg(QFileInfo(strName).absolutePath());
}

/// Writes between two looks at whether the open file still has its name.
constexpr int WRITES_BETWEEN_NAME_CHECKS = 64;
/// Milliseconds between two such looks, whatever the number of writes.
constexpr qint64 MS_BETWEEN_NAME_CHECKS = 1000;
/// Writes between two readings of the clock for MS_BETWEEN_NAME_CHECKS (a power of two).
constexpr int WRITES_BETWEEN_CLOCK_READS = 8;

/// Whether the open @p file has lost its name: it or its directory was removed, and what is
/// written to it is lost with it.
bool hasLostItsName(QFile& file)
{
#if defined(Q_OS_UNIX)
    struct stat status = {};
    return ::fstat(file.handle(), &status) != 0 || status.st_nlink == 0;
#else
    return !QFileInfo::exists(file.fileName());
#endif
}

/// Writes @p bytes straight to @p file at @p nOffset, its end; how many it took (fewer on an
/// error, told in @p strError). A write at a given place spares the kernel the lock on the
/// file's position that a plain write takes, which counts at one write per piece of text.
qint64 writeBytes(QFile& file, int nDescriptor, const QByteArray& bytes, qint64 nOffset,
                  QString& strError)
{
#if defined(Q_OS_UNIX)
    Q_UNUSED(file);
    qint64 nDone = 0;
    while (nDone < bytes.size()) {
        const ssize_t nWritten = ::pwrite(nDescriptor, bytes.constData() + nDone,
                                          size_t(bytes.size() - nDone), off_t(nOffset + nDone));
        if (nWritten > 0) {
            nDone += nWritten;
        } else if (nWritten < 0 && errno != EINTR) {
            strError = QString::fromLocal8Bit(std::strerror(errno));
            break;
        } else if (nWritten == 0) {
            strError = QStringLiteral("the file takes no more bytes");
            break;
        }
    }
    return nDone;
#else
    Q_UNUSED(nDescriptor);
    Q_UNUSED(nOffset);
    const qint64 nWritten = file.write(bytes);
    if (nWritten < bytes.size() || !file.flush())
        strError = file.errorString();
    return qMax<qint64>(nWritten, 0);
#endif
}

} // namespace

SessionFile::SessionFile(NameMaker makeName, bool bUtf8)
    : m_makeName(std::move(makeName)), m_bUtf8(bUtf8)
{
    m_heldBytes.reserve(256); // kept when emptied: a write allocates nothing
}

SessionFile::~SessionFile()
{
    close();
}

bool SessionFile::write(const QString& strText, quint64 u64NowUs,
                        const std::function<void(const QString&)>& onOpened, QString& strError)
{
    m_bFailing = !writeOpen(strText, u64NowUs, onOpened, strError);
    return !m_bFailing;
}

bool SessionFile::writeOpen(const QString& strText, quint64 u64NowUs,
                            const std::function<void(const QString&)>& onOpened, QString& strError)
{
    const auto lose = [&] {
        m_loss.add(strText.size(), u64NowUs);
        m_unmarked.add(strText.size(), u64NowUs);
        return false;
    };
    prepare();
    if (!m_pFile) {
        if (!open(strError))
            return lose();
        if (onOpened)
            onOpened(m_strName);
    }
    // A file that refuses writes holds back what it can; the rest is lost, and a marker
    // written before the next text that goes out says what.
    const bool bLineBreak = m_nCharCount >= LINE_BREAK_AFTER;
    const qint64 nLongest = 3 * (strText.size() + 1) + (m_unmarked.isEmpty() ? 0 : 200);
    if (!m_heldBytes.isEmpty() && m_heldBytes.size() + nLongest > HELD_BACK_LIMIT &&
        !writeHeld(strError))
        return lose();
    if (!m_unmarked.isEmpty()) {
        appendEncoded(m_unmarked.marker() + QLatin1Char('\n'));
        m_unmarked = SaveLoss();
    }
    appendEncoded(strText);
    if (bLineBreak)
        appendEncoded(QStringLiteral("\n"));
    m_nCharCount = (bLineBreak ? 0 : m_nCharCount) + strText.size();
    m_unchecked.add(strText.size(), u64NowUs);
    return writeHeld(strError);
}

bool SessionFile::writeHeld(QString& strError)
{
    const qint64 nWritten = writeBytes(*m_pFile, m_nDescriptor, m_heldBytes, m_nSize, strError);
    m_nSize += nWritten;
    if (nWritten == m_heldBytes.size())
        m_heldBytes.resize(0);
    else
        m_heldBytes.remove(0, static_cast<int>(nWritten));
    return m_heldBytes.isEmpty();
}

void SessionFile::appendEncoded(const QString& strText)
{
#if !defined(Q_OS_WIN)
    // Plain ASCII, as almost all of it is, goes in as it is, without a buffer of its own.
    const int nStart = m_heldBytes.size();
    m_heldBytes.resize(nStart + strText.size());
    char* pOut = m_heldBytes.data() + nStart;
    bool bAscii = true;
    for (const QChar c : strText) {
        if (c.unicode() >= 0x80) {
            bAscii = false;
            break;
        }
        *pOut++ = static_cast<char>(c.unicode());
    }
    if (bAscii)
        return;
    m_heldBytes.resize(nStart);
    m_heldBytes += m_bUtf8 ? strText.toUtf8() : strText.toLocal8Bit();
#else
    QByteArray bytes = m_bUtf8 ? strText.toUtf8() : strText.toLocal8Bit();
    bytes.replace("\n", "\r\n"); // text mode, as the files have always been written
    m_heldBytes += bytes;
#endif
}

void SessionFile::close()
{
    // A last try for what is held back; what still does not go out is lost.
    QString strError;
    if (!m_heldBytes.isEmpty() && !(m_pFile && writeHeld(strError)))
        m_loss.add(QString::fromUtf8(m_heldBytes).size(), m_loss.u64LastUs);
    m_heldBytes.resize(0);
    m_unmarked = SaveLoss();
    m_pFile.reset();
    m_strName.clear();
}

void SessionFile::restart()
{
    close();
    prepare();
}

bool SessionFile::isFinished()
{
    if (m_strName.isEmpty())
        return true;
    // A file not created yet has no name on disk and is not done. The size of an open one is
    // known from what was written to it, which keeps a write to one system call.
    if (!m_pFile)
        return false;
    if (m_nSize > MorseHandler::SESSION_FILE_LIMIT)
        return true;
    // The clock is read every few writes only: a write is cheaper than reading it.
    ++m_nWritesSinceCheck;
    if (m_nWritesSinceCheck < WRITES_BETWEEN_NAME_CHECKS &&
        ((m_nWritesSinceCheck & (WRITES_BETWEEN_CLOCK_READS - 1)) != 0 ||
         m_sinceCheck.elapsed() < MS_BETWEEN_NAME_CHECKS))
        return false;
    m_nWritesSinceCheck = 0;
    m_sinceCheck.restart();
    if (!hasLostItsName(*m_pFile)) {
        m_unchecked = SaveLoss();
        return false;
    }
    // What went into the file since the last look went with it.
    m_loss.merge(m_unchecked);
    m_unmarked.merge(m_unchecked);
    m_unchecked = SaveLoss();
    return true;
}

bool SessionFile::prepare()
{
    if (!isFinished())
        return false;
    // What the finished file still held back goes to the one that continues it.
    m_pFile.reset();
    m_nCharCount = 0;
    m_strName = m_makeName();
    return true;
}

bool SessionFile::open(QString& strError)
{
    // A name taken meanwhile gets the next counter; any other failure gets one new name, in the
    // save directory as it is now, and is tried again only when that directory differs, for a
    // missing or read-only directory fails every name alike.
    strError.clear();
    for (int nAttempt = 0; nAttempt < MAX_OPEN_ATTEMPTS; ++nAttempt) {
        const QString strTried = m_strName;
        const QString strPath = FileLocator::writablePath(strTried);
        bool bTaken = false;
        if (canCreateIn(strPath)) {
            auto pFile = std::make_unique<QFile>(strPath);
            // NewOnly: a file that appeared after the name was chosen is never overwritten.
            if (pFile->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
                m_pFile = std::move(pFile);
                m_nDescriptor = m_pFile->handle();
                m_nSize = 0;
                m_nWritesSinceCheck = 0;
                m_sinceCheck.start();
                m_unchecked = SaveLoss();
                return true;
            }
            bTaken = isNameTaken(strPath);
            strError = pFile->errorString();
        }
        m_strName = m_makeName();
        if (!bTaken && QFileInfo(m_strName).absolutePath() == QFileInfo(strTried).absolutePath())
            break;
    }
    if (strError.isEmpty())
        strError = directoryProblem(FileLocator::writablePath(m_strName));
    return false;
}

} // namespace morse
