#include "tools/morsehandler/orielresultdatahandler.h"

#include "host/orielresultdata.h"
#include "tools/morsehandler/clock.h"
#include "tools/morsehandler/filelocator.h"
#include "tools/morsehandler/trace.h"

namespace {

const QString SOURCE_FILE = QStringLiteral("tools\\morsehandler\\orielresultdatahandler");

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
    if (m_pDataBlock->Frames().size() >= FRAME_LIMIT)
        boundFrames();
    m_pDataBlock->BeginFrame();
    m_pDataBlock->SetTimeStamp(m_u64LastTimestamp);
    m_pDataBlock->AppendData(text);
    m_pDataBlock->EndFrame();
}

bool OrielResultDataHandler::SaveReport()
{
    // A work directory written with backslashes is found with them read as separators.
    const bool bSaved = m_pReport->SaveFile(morse::FileLocator::writablePath(m_strFileName));
    if (!bSaved && m_pTransmission) {
        // Kept: the next save writes it together with what follows.
        morse::trace(QStringLiteral("MorseHandler: the report '%1' could not be saved (%2); it "
                                    "is kept for the next save")
                         .arg(m_strFileName, m_pReport->ErrorString()),
                     SOURCE_FILE, __LINE__);
        if (!m_bFailing && m_onEpisode)
            m_onEpisode(m_strFileName, m_pReport->ErrorString(), nullptr, false);
        m_bFailing = true;
        return false;
    }
    m_pReport->Reset();
    m_pTransmission = nullptr;
    m_pDataBlock = nullptr;
    if (bSaved && m_bFailing) {
        m_bFailing = false;
        const morse::SaveLoss loss = m_loss;
        m_loss = morse::SaveLoss();
        if (m_onEpisode)
            m_onEpisode(m_strFileName, QString(), &loss, true);
    }
    // The library picks a free name when the announced one was taken meanwhile (another
    // report of the same second): say where the report really went.
    if (bSaved && m_pReport->SavedUnderOtherName()) {
        m_strFileName = m_pReport->SavedFilePath();
        emit SetFilename(m_strFileName);
    }
    return bSaved;
}

void OrielResultDataHandler::abandonFailingReport()
{
    if (!m_bFailing)
        return;
    m_bFailing = false;
    morse::SaveLoss loss = m_loss;
    loss.merge(heldText());
    m_loss = morse::SaveLoss();
    if (m_onEpisode)
        m_onEpisode(m_strFileName, QString(), &loss, false);
}

void OrielResultDataHandler::boundFrames()
{
    const quint64 u64Timestamp = m_u64LastTimestamp;
    // Never into a report name without a directory (the root of the file system).
    if (m_bSavesItself && !m_strWorkDirectory.isEmpty() && SaveReport()) {
        UpdateTimestamp(u64Timestamp); // the reception goes on in a new transmission
        return;
    }
    const morse::SaveLoss dropped = heldText();
    if (m_bFailing)
        m_loss.merge(dropped); // told when the report can be saved again
    morse::trace(QStringLiteral("MorseHandler: the report held %1 frames and could not be saved; "
                                "they are dropped (%2)")
                     .arg(FRAME_LIMIT)
                     .arg(dropped.describe()),
                 SOURCE_FILE, __LINE__);
    m_pDataBlock->DropFrames();
    m_pDataBlock->BeginFrame();
    m_pDataBlock->SetTimeStamp(dropped.u64FirstUs);
    m_pDataBlock->AppendData(dropped.marker());
    m_pDataBlock->EndFrame();
}

morse::SaveLoss OrielResultDataHandler::heldText() const
{
    morse::SaveLoss held;
    if (!m_pDataBlock)
        return held;
    for (const OrielResultDataXml::DataBlock::Frame& frame : m_pDataBlock->Frames())
        held.add(frame.text.size(), frame.timestamp);
    return held;
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
