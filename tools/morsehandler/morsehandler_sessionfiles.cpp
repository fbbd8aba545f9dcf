// MorseHandler: the session files that record the received code and text while saving is on.

#include "tools/morsehandler/morsehandler.h"

#include "host/errorhandler.h"
#include "tools/morsehandler/clock.h"
#include "tools/morsehandler/trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <climits>

namespace {

constexpr int MAX_OPEN_ATTEMPTS = 10000;
/// After this many characters since the last inserted line break, a write ends with one.
constexpr int LINE_BREAK_AFTER = 100;

/// Whether anything, even a dangling link, already has the name @p strPath.
bool isNameTaken(const QString& strPath)
{
    const QFileInfo info(strPath);
    return info.exists() || info.isSymLink();
}

/// Whether the directory that would hold @p strFilePath exists and may be written.
bool canCreateIn(const QString& strFilePath)
{
    const QFileInfo directory(QFileInfo(strFilePath).absolutePath());
    return directory.isDir() && directory.isWritable();
}

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\morsehandler_sessionfiles");

/// Writes @p strText, with a line break after it once @p nCount has reached the limit; whether
/// it reached the file. After a failure the stream is made ready again: what the file could not
/// take stays in its buffer (up to the buffer's size) and goes out with the next write that
/// succeeds, so a full disk that frees up again loses as little as possible.
bool writeCounted(QTextStream& stream, int& nCount, const QString& strText)
{
    stream << strText;
    if (nCount >= LINE_BREAK_AFTER) {
        stream << '\n';
        nCount = 0;
    }
    nCount += strText.size();
    stream.flush();
    if (stream.status() == QTextStream::Ok)
        return true;
    stream.resetStatus();
    return false;
}

/// Whether the session file @p strName is done with: it has grown past the limit, or it is open
/// (@p bOpen) but its name has gone, because it or its directory was removed or renamed; what
/// followed would be lost with it. A file not created yet has no name on disk and is not done.
bool isFinished(const QString& strName, bool bOpen)
{
    const QFileInfo info(strName);
    if (!info.exists())
        return bOpen;
    return info.size() > MorseHandler::SESSION_FILE_LIMIT;
}

/// Why the session file @p strName has no open file; for the trace line.
QString whyNotOpen(const QString& strName, const QString& strOpenError)
{
    if (!strOpenError.isEmpty())
        return strOpenError;
    return QStringLiteral("its directory '%1' does not exist or cannot be written")
        .arg(QFileInfo(strName).absolutePath());
}

/// "<time>_<counter><suffix>.txt" in @p directory; the counter is tried upwards from 1 until
/// the name is free.
QString freeSessionFileName(const QString& strDirectory, const QString& strSuffix,
                            const char* szOperation)
{
    const QString strTime = Tarn::DateTime(morse::Clock::currentDateTimeUtc())
                                .toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QDir directory(strDirectory);
    const QString strExtension = QStringLiteral(".txt");
    QString strName =
        directory.absoluteFilePath(strTime + QStringLiteral("_1") + strSuffix + strExtension);
    for (qint64 nCounter = 2; isNameTaken(strName); ++nCounter) {
        if (nCounter > INT_MAX) {
            if (morse::isTracingOn())
                _Q_TraceOld("Error in MorseHandler::%s: file name already exists: %s", szOperation,
                            strName.toUtf8().constData());
            break;
        }
        strName = directory.absoluteFilePath(strTime + QStringLiteral("_%1").arg(nCounter) +
                                             strSuffix + strExtension);
    }
    return strName;
}

/// Creates and opens the session file named @p strName (a member that @p chooseName sets to a
/// new name). A name that is taken meanwhile gets the next counter; any other failure gets one
/// new name, in the save directory as it is now, and is tried again only when that directory
/// differs, for a missing or read-only directory fails every name alike. Null when no file
/// could be made; @p strError then says why, if an open was tried.
template <class ChooseName>
std::unique_ptr<QFile> openSessionFile(const QString& strName, ChooseName chooseName,
                                       QString& strError)
{
    strError.clear();
    for (int nAttempt = 0; nAttempt < MAX_OPEN_ATTEMPTS; ++nAttempt) {
        const QString strTried = strName;
        bool bTaken = false;
        if (canCreateIn(strTried)) {
            auto pFile = std::make_unique<QFile>(strTried);
            // NewOnly: a file that appeared after the name was chosen is never overwritten.
            if (pFile->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly))
                return pFile;
            bTaken = isNameTaken(strTried);
            strError = pFile->errorString();
        }
        chooseName();
        if (!bTaken && QFileInfo(strName).absolutePath() == QFileInfo(strTried).absolutePath())
            break;
    }
    return nullptr;
}

} // namespace

void MorseHandler::SaveCodeAndText(const QString& strCode, const QString& strText)
{
    if (!strText.isEmpty()) {
        PrepareSavingMorseText();
        if (!m_pTextFile)
            OpenMorseText();
        if (!m_pTextStream)
            noteWriteFailed(FAILING_TEXT_FILE, m_strTextFileName,
                            whyNotOpen(m_strTextFileName, m_strLastOpenError));
        else if (!writeCounted(*m_pTextStream, m_nTextCharCount, strText))
            noteWriteFailed(FAILING_TEXT_FILE, m_strTextFileName, m_pTextFile->errorString());
        else
            m_nFailingFiles &= ~FAILING_TEXT_FILE;
    }
    if (!strCode.isEmpty()) {
        PrepareSavingMorseCode();
        if (!m_pCodeFile)
            OpenMorseCode();
        if (!m_pCodeStream)
            noteWriteFailed(FAILING_CODE_FILE, m_strCodeFileName,
                            whyNotOpen(m_strCodeFileName, m_strLastOpenError));
        else if (!writeCounted(*m_pCodeStream, m_nCodeCharCount, strCode))
            noteWriteFailed(FAILING_CODE_FILE, m_strCodeFileName, m_pCodeFile->errorString());
        else
            m_nFailingFiles &= ~FAILING_CODE_FILE;
    }
}

void MorseHandler::noteWriteFailed(int nFile, const QString& strFileName, const QString& strReason)
{
    // One line per episode: from the first failed write until every failing file has taken a
    // write again. Reception never waits for the files.
    const bool bNewEpisode = m_nFailingFiles == 0;
    m_nFailingFiles |= nFile;
    if (bNewEpisode)
        morse::trace(QStringLiteral("MorseHandler: cannot write the session file '%1' (%2); "
                                    "reception goes on and each later write tries again")
                         .arg(strFileName, strReason),
                     SOURCE_FILE, __LINE__);
}

void MorseHandler::PrepareSavingMorseCode()
{
    if (!CheckIfNewCodeFile())
        return;
    m_pCodeStream.reset(); // flushes into the file before the file goes
    if (m_pCodeFile)
        m_pCodeFile->close();
    m_pCodeFile.reset();
    m_nCodeCharCount = 0;
}

void MorseHandler::PrepareSavingMorseText()
{
    if (!CheckIfNewTextFile())
        return;
    m_pTextStream.reset();
    if (m_pTextFile)
        m_pTextFile->close();
    m_pTextFile.reset();
    m_nTextCharCount = 0;
}

bool MorseHandler::CheckIfNewCodeFile()
{
    if (m_strCodeFileName.isEmpty() || isFinished(m_strCodeFileName, m_pCodeFile != nullptr)) {
        CreateCodeFilename();
        return true;
    }
    return false;
}

bool MorseHandler::CheckIfNewTextFile()
{
    if (m_strTextFileName.isEmpty() || isFinished(m_strTextFileName, m_pTextFile != nullptr)) {
        CreateTextFilename();
        return true;
    }
    return false;
}

void MorseHandler::CreateCodeFilename()
{
    m_strCodeFileName = freeSessionFileName(
        m_strSaveDirectory, QStringLiteral("_MO__") + frequencyPart(), "CreateCodeFilename");
}

void MorseHandler::CreateTextFilename()
{
    m_strTextFileName = freeSessionFileName(m_strSaveDirectory,
                                            QStringLiteral("_MO__") + frequencyPart() +
                                                QStringLiteral("__") + alphabetName(),
                                            "CreateTextFilename");
}

void MorseHandler::OpenMorseCode()
{
    if (m_pCodeFile)
        return;
    m_pCodeStream.reset();
    m_pCodeFile = openSessionFile(
        m_strCodeFileName, [this] { CreateCodeFilename(); }, m_strLastOpenError);
    if (!m_pCodeFile)
        return;
    m_pCodeStream = std::make_unique<QTextStream>(m_pCodeFile.get());
    if (values::Value<QString>* pValue = m_codeFileNameValue.get())
        pValue->SetValue(m_strCodeFileName, nullptr);
}

void MorseHandler::OpenMorseText()
{
    if (m_pTextFile)
        return;
    m_pTextStream.reset();
    m_pTextFile = openSessionFile(
        m_strTextFileName, [this] { CreateTextFilename(); }, m_strLastOpenError);
    if (!m_pTextFile)
        return;
    m_pTextStream = std::make_unique<QTextStream>(m_pTextFile.get());
    m_pTextStream->setCodec("UTF-8");
    if (values::Value<QString>* pValue = m_textFileNameValue.get())
        pValue->SetValue(m_strTextFileName, nullptr);
}

void MorseHandler::CloseAllFiles()
{
    auto close = [](std::unique_ptr<QFile>& pFile, std::unique_ptr<QTextStream>& pStream,
                    QString& strName) {
        if (pStream)
            pStream->flush();
        pStream.reset();
        if (pFile && pFile->isOpen()) {
            pFile->flush();
            pFile->close();
        }
        pFile.reset();
        strName.clear();
    };
    close(m_pTextFile, m_pTextStream, m_strTextFileName);
    close(m_pCodeFile, m_pCodeStream, m_strCodeFileName);
}

void MorseHandler::RestartFiles()
{
    CloseAllFiles();
    PrepareSavingMorseCode();
    PrepareSavingMorseText();
}

QString MorseHandler::frequencyPart() const
{
    if (!m_pFrequencyValue)
        return QString();
    // Single precision at each step, as the names have always been made: it decides how the
    // last decimal rounds.
    const float fHz = static_cast<float>(m_pFrequencyValue->GetValue());
    const float fKHz = static_cast<float>(fHz / 1000.0);
    QString strPart;
    if (fKHz > 1000.0) {
        const float fMHz = static_cast<float>(fKHz / 1000.0);
        strPart = QString::number(fMHz, 'f', 3) + QStringLiteral("MHz");
    } else {
        strPart = QString::number(fKHz, 'f', 3) + QStringLiteral("KHz");
    }
    strPart.replace(QLatin1Char('.'), QLatin1Char('_'));
    return strPart;
}

QString MorseHandler::alphabetName() const
{
    const values::ValueSelection* pSelection = m_alphabetSelection.get();
    return pSelection ? pSelection->GetStringValue() : QStringLiteral("Default");
}
