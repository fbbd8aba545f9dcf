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

/// Writes @p strText, with a line break after it once @p nCount has reached the limit.
void writeCounted(QTextStream& stream, int& nCount, const QString& strText)
{
    stream << strText;
    if (nCount >= LINE_BREAK_AFTER) {
        stream << '\n';
        nCount = 0;
    }
    nCount += strText.size();
    stream.flush();
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

} // namespace

void MorseHandler::SaveCodeAndText(const QString& strCode, const QString& strText)
{
    if (!strText.isEmpty()) {
        PrepareSavingMorseText();
        if (!m_pTextFile)
            OpenMorseText();
        if (m_pTextStream)
            writeCounted(*m_pTextStream, m_nTextCharCount, strText);
    }
    if (!strCode.isEmpty()) {
        PrepareSavingMorseCode();
        if (!m_pCodeFile)
            OpenMorseCode();
        if (m_pCodeStream)
            writeCounted(*m_pCodeStream, m_nCodeCharCount, strCode);
    }
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
    if (m_strCodeFileName.isEmpty() || QFileInfo(m_strCodeFileName).size() > SESSION_FILE_LIMIT) {
        CreateCodeFilename();
        return true;
    }
    return false;
}

bool MorseHandler::CheckIfNewTextFile()
{
    if (m_strTextFileName.isEmpty() || QFileInfo(m_strTextFileName).size() > SESSION_FILE_LIMIT) {
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
    for (int nAttempt = 0; nAttempt < MAX_OPEN_ATTEMPTS && !m_pCodeFile; ++nAttempt) {
        // A missing or read-only directory fails every name alike: give up at once.
        if (!canCreateIn(m_strCodeFileName))
            return;
        auto pFile = std::make_unique<QFile>(m_strCodeFileName);
        // NewOnly: a file that appeared after the name was chosen is never overwritten.
        if (pFile->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly)) {
            m_pCodeFile = std::move(pFile);
            break;
        }
        const bool bTaken = isNameTaken(m_strCodeFileName);
        pFile.reset();
        CreateCodeFilename();
        if (!bTaken)
            return; // not a name collision: a new name fails the same way
    }
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
    for (int nAttempt = 0; nAttempt < MAX_OPEN_ATTEMPTS && !m_pTextFile; ++nAttempt) {
        if (!canCreateIn(m_strTextFileName))
            return;
        auto pFile = std::make_unique<QFile>(m_strTextFileName);
        if (pFile->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly)) {
            m_pTextFile = std::move(pFile);
            break;
        }
        const bool bTaken = isNameTaken(m_strTextFileName);
        pFile.reset();
        CreateTextFilename();
        if (!bTaken)
            return;
    }
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
