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
const QString NAME_TAG = QStringLiteral("_MO__");

bool isNameTaken(const QString& strPath)
{
    const QFileInfo info(FileLocator::writablePath(strPath));
    return info.exists() || info.isSymLink();
}

} // namespace

SessionFiles::SessionFiles(NameParts parts, OpenedListener onOpened)
    : m_parts(std::move(parts)), m_onOpened(std::move(onOpened)),
      m_codeFile([this] { return freeName(NAME_TAG + m_parts.frequency(), "CreateCodeFilename"); },
                 false),
      m_textFile(
          [this] {
              return freeName(NAME_TAG + m_parts.frequency() + QStringLiteral("__") +
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
    // One trace line per episode: from the first lost write until every file has taken a
    // write again. Reception never waits for the files.
    const bool bEpisodeStarts = !m_textFile.isFailing() && !m_codeFile.isFailing();
    const bool bText = &file == &m_textFile;
    QString strError;
    if (file.write(
            strText, [&](const QString& strName) { m_onOpened(bText, strName); }, strError) ||
        !bEpisodeStarts)
        return;
    trace(QStringLiteral("MorseHandler: cannot write the session file '%1' (%2); reception goes "
                         "on and each later write tries again")
              .arg(file.name(), strError),
          SOURCE_FILE, __LINE__);
}

void SessionFiles::closeAll()
{
    m_textFile.close();
    m_codeFile.close();
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
