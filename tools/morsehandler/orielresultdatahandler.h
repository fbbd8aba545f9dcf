#pragma once

#include "tools/morsehandler/saveloss.h"

#include <QObject>
#include <QString>

#include <memory>

namespace OrielResultDataXml {
class DataBlock;
class OrielResultData;
class Transmission;
} // namespace OrielResultDataXml

/// The Morse handler's adapter to the host's result-data report: a transmission starts at the
/// first timestamp and stops at the latest, every decoded unit of text becomes a frame stamped
/// with the latest timestamp, and a save writes the report and starts over. Owned by
/// MorseHandler, which it tells of the report's file name and of the need for tuner settings.
///
/// A report that cannot be saved is kept and saved with what follows at the next save; the
/// failure episode is told to the episode listener as it starts and ends. While saving is on,
/// the report saves itself once it holds FRAME_LIMIT frames, so its memory stays bounded over a
/// long session; while saving is off or the report cannot be saved, frames beyond the limit are
/// dropped and a "[LOST ...]" frame takes their place.
class OrielResultDataHandler : public QObject
{
    Q_OBJECT

public:
    /// Frames held before the report saves itself.
    static constexpr int FRAME_LIMIT = 20000;

    /// @p name is accepted for the host's sake and not kept.
    OrielResultDataHandler(QObject* parent, const QString& name);
    ~OrielResultDataHandler() override;

    /// Starts a transmission at the first timestamp (microseconds since 1970 UTC), or moves
    /// the stop time of the running one.
    void UpdateTimestamp(const quint64& u64Timestamp);
    /// One frame with @p text and the latest timestamp; nothing while no transmission runs.
    void AppendText(const QString& text);
    /// Writes the report (never over an existing file) and starts over without transmission;
    /// whether it was written. A report that could not be written is kept for the next save.
    bool SaveReport();
    /// Hears the failure episodes of saving.
    void setEpisodeListener(morse::SaveEpisodeListener listener)
    {
        m_onEpisode = std::move(listener);
    }
    /// Whether the report may save itself at FRAME_LIMIT (saving is on, into a work directory).
    void setSavesItself(bool bSaves) { m_bSavesItself = bSaves; }
    /// Ends a failure episode going on as lost, with the text the report still holds.
    void abandonFailingReport();
    /// The directory of the next report file name.
    void SetWorkDirectory(const QString& strDirectory);

    /// Accepted from the Morse handler; the report does not record them.
    void SetBaudrate(double dBaudrate);
    void SetFrequencyOffset(double dOffset);
    void SetTunerDemodulatorSettings(const QString& strSettings);

    /// The report, for reading what has been recorded.
    const OrielResultDataXml::OrielResultData& Report() const { return *m_pReport; }
    /// The file name chosen at the start of the current or last transmission.
    QString FileName() const { return m_strFileName; }

signals:
    /// A transmission started; its report will be saved as @p sFilename.
    void SetFilename(const QString& sFilename);
    /// A transmission started; the tuner settings should be fetched.
    void GetXmlTunerDemodulatorSettings();

private:
    QString CreateFileName() const;
    /// Saves a report that has reached FRAME_LIMIT frames, or drops its frames when it cannot.
    void boundFrames();
    /// The characters and times of the frames held now.
    morse::SaveLoss heldText() const;

    std::unique_ptr<OrielResultDataXml::OrielResultData> m_pReport;
    OrielResultDataXml::Transmission* m_pTransmission = nullptr; // held by the report
    OrielResultDataXml::DataBlock* m_pDataBlock = nullptr;       // held by the transmission
    QString m_strFileName;
    quint64 m_u64LastTimestamp = 0;
    QString m_strWorkDirectory;
    morse::SaveEpisodeListener m_onEpisode;
    bool m_bFailing = false;
    bool m_bSavesItself = false;
    morse::SaveLoss m_loss; // frames dropped while failing
};
