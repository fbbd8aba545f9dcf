#pragma once

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
class OrielResultDataHandler : public QObject
{
    Q_OBJECT

public:
    /// @p name is accepted for the host's sake and not kept.
    OrielResultDataHandler(QObject* parent, const QString& name);
    ~OrielResultDataHandler() override;

    /// Starts a transmission at the first timestamp (microseconds since 1970 UTC), or moves
    /// the stop time of the running one.
    void UpdateTimestamp(const quint64& u64Timestamp);
    /// One frame with @p text and the latest timestamp; nothing while no transmission runs.
    void AppendText(const QString& text);
    /// Writes the report (never over an existing file) and starts over without transmission.
    void SaveReport();
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

    std::unique_ptr<OrielResultDataXml::OrielResultData> m_pReport;
    OrielResultDataXml::Transmission* m_pTransmission = nullptr; // held by the report
    OrielResultDataXml::DataBlock* m_pDataBlock = nullptr;       // held by the transmission
    QString m_strFileName;
    quint64 m_u64LastTimestamp = 0;
    QString m_strWorkDirectory;
};
