#include "tools/morsehandler/sessionfiles.h"

#include "host/errorhandler.h"
#include "host/tarndatetime.h"
#include "tools/morsehandler/clock.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/trace.h"

#include <QDir>
#include <QFileInfo>

#include <climits>

namespace morse {

namespace {

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\morsehandler_sessionfiles");

bool isNameTaken(const QString& strPath)
{
    const QFileInfo info(FileLocator::writablePath(strPath));
    return info.exists() || info.isSymLink();
}

} // namespace

SessionFiles::SessionFiles(NameParts parts, OpenedListener onOpened)
    : m_parts(std::move(parts)), m_onOpened(std::move(onOpened)),
      m_codeFile(
          [this] { return freeName(m_parts.tag + m_parts.frequency(), "CreateCodeFilename"); },
          false),
      m_textFile(
          [this] {
              return freeName(m_parts.tag + m_parts.frequency() + QStringLiteral("__") +
                                  m_parts.alphabet(),
                              "CreateTextFilename");
          },
          true)
{
}

void SessionFiles::save(const QString& strCode, const QString& strText)
{
    if (!strText.isEmpty())
        saveTo(m_textFile, strText);
    if (!strCode.isEmpty())
        saveTo(m_codeFile, strCode);
}

void SessionFiles::saveTo(SessionFile& file, const QString& strText)
{
    // Reception never waits for the files: a refused write starts an episode, told once, and
    // the episode ends when every file has taken a write again.
    const bool bText = &file == &m_textFile;
    QString strError;
    const bool bWritten = file.write(
        strText, m_u64Timestamp, [&](const QString& strName) { m_onOpened(bText, strName); },
        strError);
    if (!bWritten && !m_bEpisode) {
        startEpisode(file.name(), strError);
    } else if (bWritten && !m_bEpisode && !file.loss().isEmpty()) {
        // Written, but into a file that had been removed: what went there is lost.
        startEpisode(file.name(), QStringLiteral("the file before it was removed while open"));
        endEpisode(true);
    } else if (bWritten && m_bEpisode && !m_textFile.isFailing() && !m_codeFile.isFailing()) {
        endEpisode(true);
    }
}

void SessionFiles::startEpisode(const QString& strFile, const QString& strError)
{
    m_bEpisode = true;
    m_strEpisodeFile = strFile;
    trace(QStringLiteral("MorseHandler: cannot write the session file '%1' (%2); reception goes "
                         "on and each later write tries again")
              .arg(strFile, strError),
          SOURCE_FILE, __LINE__);
    if (m_onEpisode)
        m_onEpisode(strFile, strError, nullptr, false);
}

void SessionFiles::endEpisode(bool bRecovered)
{
    SaveLoss loss = m_textFile.loss();
    loss.merge(m_codeFile.loss());
    m_textFile.clearLoss();
    m_codeFile.clearLoss();
    m_bEpisode = false;
    trace(QStringLiteral("MorseHandler: the session files %1; lost: %2")
              .arg(bRecovered ? QStringLiteral("take writes again")
                              : QStringLiteral("were closed while failing"),
                   loss.describe()),
          SOURCE_FILE, __LINE__);
    if (m_onEpisode)
        m_onEpisode(m_strEpisodeFile, QString(), &loss, bRecovered);
}

void SessionFiles::closeAll()
{
    m_textFile.close();
    m_codeFile.close();
    if (m_bEpisode)
        endEpisode(false);
}

void SessionFiles::restart()
{
    closeAll();
    m_codeFile.restart();
    m_textFile.restart();
}

/// "<time>_<counter><suffix>.txt" in the save directory; the counter is tried upwards from 1
/// until the name is free.
QString SessionFiles::freeName(const QString& strSuffix, const char* szOperation) const
{
    const QString strTime =
        Tarn::DateTime(Clock::currentDateTimeUtc()).toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QDir directory(m_strDirectory);
    const QString strExtension = QStringLiteral(".txt");
    QString strName =
        directory.absoluteFilePath(strTime + QStringLiteral("_1") + strSuffix + strExtension);
    for (qint64 nCounter = 2; isNameTaken(strName); ++nCounter) {
        if (nCounter > INT_MAX) {
            if (isTracingOn())
                _Q_TraceOld("Error in MorseHandler::%s: file name already exists: %s", szOperation,
                            strName.toUtf8().constData());
            break;
        }
        strName = directory.absoluteFilePath(strTime + QStringLiteral("_%1").arg(nCounter) +
                                             strSuffix + strExtension);
    }
    return strName;
}

} // namespace morse
