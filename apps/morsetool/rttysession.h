#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <memory>

class OrielResultDataHandler;
namespace morse {
class SessionFiles;
struct SaveLoss;
} // namespace morse

/// Saves a teleprinter reception the way the Morse handler saves a Morse one: a code file with
/// the decoder's text as it published it (each character with a broken stop bit followed by
/// "[FRAMING_ERROR]"), a text file with the translated text (UTF-8), named
/// "<UTC time>_<counter>_RTTY__<speed>Bd_<shift>Hz[__<translation>].txt", and the result-data
/// report with one frame per character. Files are never overwritten; a failing file costs the
/// text it could not take, never the reception, and each failure is told as it starts and ends.
class RttySession
{
public:
    struct Options
    {
        QString directory;         ///< where the files go (absolute)
        QString translation;       ///< the codec or map in use; empty: "Default"
        bool announceFiles = true; ///< print the name of each file written
    };

    RttySession(const Options& options, FILE* messages);
    ~RttySession();
    RttySession(const RttySession&) = delete;
    RttySession& operator=(const RttySession&) = delete;

    /// The speed and shift the file names tell; given before the first character.
    void setSignal(double dBaud, double dShiftHz);
    /// One character received at @p u64TimestampUs (microseconds since 1970 UTC): the decoder's
    /// text @p strDecoded (empty for a shift) and its translation @p strText.
    void save(quint64 u64TimestampUs, const QString& strDecoded, bool bFramingError,
              const QString& strText);
    /// Writes the report so far; the next character starts a new one.
    void saveReport();
    /// Saves the report and closes the files; false with @p strError when a report that was due
    /// is missing or text was lost on the way.
    bool finish(QString& strError);

private:
    void tell(const QString& strMessage);
    void onEpisode(const QString& strFile, const QString& strError, const morse::SaveLoss* pLoss,
                   bool bRecovered);

    Options m_options;
    FILE* m_pMessages;
    QString m_strSignal; ///< "50Bd_425Hz"
    std::unique_ptr<morse::SessionFiles> m_pFiles;
    std::unique_ptr<OrielResultDataHandler> m_pReport;
    QString m_strReportName;
    bool m_bAnyCharacter = false;
    bool m_bLost = false;
};
