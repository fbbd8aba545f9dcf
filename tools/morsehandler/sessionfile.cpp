#include "tools/morsehandler/sessionfile.h"

#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/morsehandler.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

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

/// Whether the session file @p strName is done with: it has grown past the limit, or it is open
/// (@p bOpen) but its name has gone, because it or its directory was removed or renamed; what
/// followed would be lost with it. A file not created yet has no name on disk and is not done.
bool isFinished(const QString& strName, bool bOpen)
{
    const QFileInfo info(FileLocator::writablePath(strName));
    if (!info.exists())
        return bOpen;
    return info.size() > MorseHandler::SESSION_FILE_LIMIT;
}

/// Why the session file @p strName could not be opened, when no open was tried.
QString directoryProblem(const QString& strName)
{
    return QStringLiteral("its directory '%1' does not exist or cannot be written")
        .arg(QFileInfo(strName).absolutePath());
}

} // namespace

SessionFile::SessionFile(NameMaker makeName, bool bUtf8)
    : m_makeName(std::move(makeName)), m_bUtf8(bUtf8)
{
}

SessionFile::~SessionFile()
{
    close();
}

bool SessionFile::write(const QString& strText, const std::function<void(const QString&)>& onOpened,
                        QString& strError)
{
    m_bFailing = !writeOpen(strText, onOpened, strError);
    return !m_bFailing;
}

bool SessionFile::writeOpen(const QString& strText,
                            const std::function<void(const QString&)>& onOpened, QString& strError)
{
    prepare();
    if (!m_pFile) {
        if (!open(strError))
            return false;
        if (onOpened)
            onOpened(m_strName);
    }
    *m_pStream << strText;
    if (m_nCharCount >= LINE_BREAK_AFTER) {
        *m_pStream << '\n';
        m_nCharCount = 0;
    }
    m_nCharCount += strText.size();
    m_pStream->flush();
    if (m_pStream->status() == QTextStream::Ok)
        return true;
    // What the file could not take stays in the stream's buffer (up to its size) and goes out
    // with the next write that succeeds, so a full disk that frees up again loses little.
    m_pStream->resetStatus();
    strError = m_pFile->errorString();
    return false;
}

void SessionFile::close()
{
    if (m_pStream)
        m_pStream->flush();
    m_pStream.reset();
    if (m_pFile && m_pFile->isOpen()) {
        m_pFile->flush();
        m_pFile->close();
    }
    m_pFile.reset();
    m_strName.clear();
}

void SessionFile::restart()
{
    close();
    prepare();
}

bool SessionFile::prepare()
{
    if (!m_strName.isEmpty() && !isFinished(m_strName, m_pFile != nullptr))
        return false;
    m_pStream.reset(); // flushes into the file before the file goes
    if (m_pFile)
        m_pFile->close();
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
            if (pFile->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly)) {
                m_pFile = std::move(pFile);
                m_pStream = std::make_unique<QTextStream>(m_pFile.get());
                if (m_bUtf8)
                    m_pStream->setCodec("UTF-8");
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
