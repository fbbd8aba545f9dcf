#include "rttysession.h"

#include "tools/morsehandler/orielresultdatahandler.h"
#include "tools/morsehandler/sessionfiles.h"

#include <QFileInfo>

namespace {

const QString FRAMING_ERROR = QStringLiteral("[FRAMING_ERROR]");

/// "45_45Bd_170Hz": the speed and shift as a file name shows them, dots made underscores as in
/// the Morse session files' frequency part.
QString signalPart(double dBaud, double dShiftHz)
{
    QString part = QStringLiteral("%1Bd_%2Hz").arg(dBaud).arg(qRound(dShiftHz));
    part.replace(QLatin1Char('.'), QLatin1Char('_'));
    return part;
}

} // namespace

RttySession::RttySession(const Options& options, FILE* messages)
    : m_options(options), m_pMessages(messages)
{
    morse::SessionFiles::NameParts parts;
    parts.tag = QStringLiteral("_RTTY__");
    parts.frequency = [this] { return m_strSignal; };
    parts.alphabet = [this] {
        return m_options.translation.isEmpty() ? QStringLiteral("Default") : m_options.translation;
    };
    m_pFiles =
        std::make_unique<morse::SessionFiles>(parts, [this](bool bText, const QString& strName) {
            if (m_options.announceFiles)
                tell(QStringLiteral("%1: %2\n")
                         .arg(bText ? QStringLiteral("text file") : QStringLiteral("code file"),
                              strName));
        });
    m_pFiles->setDirectory(m_options.directory);
    const morse::SaveEpisodeListener episode =
        [this](const QString& strFile, const QString& strError, const morse::SaveLoss* pLoss,
               bool bRecovered) { onEpisode(strFile, strError, pLoss, bRecovered); };
    m_pFiles->setEpisodeListener(episode);
    m_pReport = std::make_unique<OrielResultDataHandler>(nullptr, QStringLiteral("ORIEL"));
    m_pReport->SetWorkDirectory(m_options.directory);
    m_pReport->setSavesItself(true);
    m_pReport->setEpisodeListener(episode);
    QObject::connect(m_pReport.get(), &OrielResultDataHandler::SetFilename,
                     [this](const QString& strName) {
                         m_strReportName = strName;
                         if (m_options.announceFiles)
                             tell(QStringLiteral("report: %1\n").arg(strName));
                     });
}

RttySession::~RttySession()
{
    m_pFiles->closeAll();
}

void RttySession::setSignal(double dBaud, double dShiftHz)
{
    m_strSignal = signalPart(dBaud, dShiftHz);
}

void RttySession::save(quint64 u64TimestampUs, const QString& strDecoded, bool bFramingError,
                       const QString& strText)
{
    m_bAnyCharacter = true;
    m_pFiles->setTimestamp(u64TimestampUs);
    m_pFiles->save(bFramingError ? strDecoded + FRAMING_ERROR : strDecoded, strText);
    m_pReport->UpdateTimestamp(u64TimestampUs);
    if (!strText.isEmpty())
        m_pReport->AppendText(strText);
}

void RttySession::saveReport()
{
    if (m_bAnyCharacter)
        m_pReport->SaveReport();
    m_bAnyCharacter = false;
}

bool RttySession::finish(QString& strError)
{
    const bool bReportDue = m_bAnyCharacter;
    if (bReportDue && !m_pReport->SaveReport())
        m_pReport->abandonFailingReport();
    m_bAnyCharacter = false;
    m_pFiles->closeAll();
    if (bReportDue && !QFileInfo::exists(m_strReportName)) {
        strError = QStringLiteral("the report could not be written to \"%1\"").arg(m_strReportName);
        return false;
    }
    if (m_bLost) {
        strError = QStringLiteral("text was lost while saving (see the messages above)");
        return false;
    }
    return true;
}

void RttySession::tell(const QString& strMessage)
{
    const QByteArray bytes = strMessage.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_pMessages);
    std::fflush(m_pMessages);
}

void RttySession::onEpisode(const QString& strFile, const QString& strError,
                            const morse::SaveLoss* pLoss, bool bRecovered)
{
    // Failures are told even when file names are not.
    if (!pLoss) {
        tell(QStringLiteral("morsetool decode: saving: cannot write \"%1\": %2\n")
                 .arg(strFile, strError));
        return;
    }
    if (!pLoss->isEmpty() || !bRecovered)
        m_bLost = true;
    tell(QStringLiteral("morsetool decode: saving: %1 \"%2\"; lost: %3\n")
             .arg(bRecovered ? QStringLiteral("writing works again:")
                             : QStringLiteral("closed while failing:"),
                  strFile, pLoss->describe()));
}
