#include "tools/morsehandler/orielresultdatahandler.h"

#include "host/orielresultdata.h"
#include "tools/morsehandler/clock.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/trace.h"

namespace {

/// Microseconds since 1970 UTC as a UTC date-time with milliseconds.
QDateTime toUtcDateTime(quint64 u64Timestamp)
{
    const qint64 nSeconds = static_cast<qint64>(u64Timestamp / 1000000u);
    const qint64 nMilliseconds = static_cast<qint64>((u64Timestamp / 1000u) % 1000u);
    return QDateTime::fromSecsSinceEpoch(nSeconds, Qt::UTC).addMSecs(nMilliseconds).toUTC();
}

} // namespace

OrielResultDataHandler::OrielResultDataHandler(QObject* parent, const QString& /*name*/)
    : QObject(parent), m_pReport(std::make_unique<OrielResultDataXml::OrielResultData>())
{
}

OrielResultDataHandler::~OrielResultDataHandler() = default;

void OrielResultDataHandler::UpdateTimestamp(const quint64& u64Timestamp)
{
    const QDateTime time = toUtcDateTime(u64Timestamp);
    if (m_pTransmission) {
        m_pTransmission->SetStopTime(time);
    } else {
        m_pTransmission = new OrielResultDataXml::Transmission;
        m_pTransmission->SetStartTime(time);
        m_pReport->AddTransmission(m_pTransmission);
        m_strFileName = CreateFileName();
        emit SetFilename(m_strFileName);
        emit GetXmlTunerDemodulatorSettings();
        m_pDataBlock = new OrielResultDataXml::DataBlock(-1, 0, 0);
        m_pTransmission->AddDataBlock(m_pDataBlock);
    }
    m_u64LastTimestamp = u64Timestamp;
}

void OrielResultDataHandler::AppendText(const QString& text)
{
    if (!m_pDataBlock)
        return; // no transmission yet: there is nothing to attach the frame to
    m_pDataBlock->BeginFrame();
    m_pDataBlock->SetTimeStamp(m_u64LastTimestamp);
    m_pDataBlock->AppendData(text);
    m_pDataBlock->EndFrame();
}

void OrielResultDataHandler::SaveReport()
{
    // A work directory written with backslashes is found with them read as separators.
    const bool bSaved = m_pReport->SaveFile(morse::FileLocator::writablePath(m_strFileName));
    if (!bSaved)
        morse::trace(
            QStringLiteral("MorseHandler: the report '%1' could not be saved").arg(m_strFileName),
            QStringLiteral("tools\\morsehandler\\orielresultdatahandler"), __LINE__);
    m_pReport->Reset();
    m_pTransmission = nullptr;
    m_pDataBlock = nullptr;
    // The library picks a free name when the announced one was taken meanwhile (another
    // report of the same second): say where the report really went.
    if (bSaved && m_pReport->SavedUnderOtherName()) {
        m_strFileName = m_pReport->SavedFilePath();
        emit SetFilename(m_strFileName);
    }
}

void OrielResultDataHandler::SetWorkDirectory(const QString& strDirectory)
{
    m_strWorkDirectory = strDirectory;
    m_pReport->SetWorkDir(strDirectory);
}

void OrielResultDataHandler::SetBaudrate(double) {}

void OrielResultDataHandler::SetFrequencyOffset(double) {}

void OrielResultDataHandler::SetTunerDemodulatorSettings(const QString&) {}

QString OrielResultDataHandler::CreateFileName() const
{
    return m_strWorkDirectory + QStringLiteral("/OrielResultData_") +
           morse::Clock::currentDateTime().toString(QStringLiteral("yyyy_MM_dd__hh_mm_ss")) +
           QStringLiteral(".xml");
}
