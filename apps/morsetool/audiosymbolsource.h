#pragma once

#include "snrestimator.h"
#include "symbolsource.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace cw {
class AudioFileReader;
class CwDemodulator;
} // namespace cw

/// Symbol codes demodulated from a CW recording (any audio file libsndfile reads, or raw
/// 16-bit PCM on standard input). Each symbol is handed out as soon as the demodulator has
/// decided it; its timestamp is the recording's start plus the sample position. At the end it
/// tells, on stderr, the tone and speed it found.
class QCommandLineParser;
class QIODevice;

class AudioSymbolSource : public SymbolSource
{
public:
    struct Options
    {
        double dPitchHz = 0.0;       ///< 0 finds the tone
        int nRawSampleRate = 0;      ///< for raw samples on standard input
        bool bRawFloat = false;      ///< raw samples are 32-bit floats, not 16-bit integers
        bool bHaveStartTime = false; ///< else the file's modification time less its length
        quint64 u64StartTimeUs = 0;  ///< microseconds since 1970-01-01 00:00 UTC
        std::vector<std::string> characterCodes; ///< of the alphabet in use; empty: International
        /// Whether to estimate the signal-to-noise ratio (hasSnr()): it costs a pass over every
        /// sample, so output that does not show it leaves it out.
        bool bEstimateSnr = true;
    };

    AudioSymbolSource();
    ~AudioSymbolSource() override;

    /// True when the file @p strPath should be decoded as audio: libsndfile recognises it by
    /// its content or by its audio extension.
    static bool IsAudioFile(const QString& strPath);

    /// The options of `morsetool decode` for recordings: --pitch, --rate, --sample-format and
    /// --start-time.
    static QList<QCommandLineOption> commandLineOptions();
    /// Reads those options; false, with @p strError, for a bad value.
    static bool readOptions(const QCommandLineParser& parser, Options& options, QString& strError);
    /// Reads --start-time alone, setting @p bHave and @p u64StartUs when it is given; false,
    /// with @p strError, for a bad value.
    static bool readStartTime(const QCommandLineParser& parser, bool& bHave, quint64& u64StartUs,
                              QString& strError);
    /// When the recording file @p strPath of @p nFrames began: its modification time less its
    /// length (microseconds since 1970 UTC).
    static quint64 fileStartUs(const QString& strPath, qint64 nFrames, int nSampleRate);

    /// Opens the recording file; false, with errorString(), when it cannot be read as audio.
    bool open(const QString& strPath, const Options& options);
    /// Reads a recording from @p device (standard input): raw samples when options give a
    /// rate, else a format recognised by its content.
    bool openStream(std::unique_ptr<QIODevice> device, const Options& options);

    bool next(Symbol& symbol) override;
    /// For a reader other than the demodulator (the skimmer): the next block of samples,
    /// @p nCount 0 at the end; false, with errorString(), when the input fails.
    bool readSamples(const float*& pSamples, qint64& nCount);
    int sampleRate() const { return m_nSampleRate; }
    QString errorString() const override { return m_strError; }
    QString summary() const override;
    bool heardNothing() const override;
    QString shortfall() const override;

    double pitchHz() const override;
    double wordsPerMinute() const override;
    bool hasSnr() const override { return m_snr.hasEstimate(); }
    double snrDb() const override { return m_snr.estimateDb(); }
    quint64 startUs() const override { return m_u64StartUs; }
    double progress() const override;

private:
    bool start(const QString& strName, bool bStream);
    void makeDemodulator();
    bool readMore();

    std::unique_ptr<QIODevice> m_pDevice; ///< the stream read, when not a file
    std::unique_ptr<cw::AudioFileReader> m_pReader;
    std::unique_ptr<cw::CwDemodulator> m_pDemodulator; ///< made at the first symbol asked for
    QString m_strError;
    Options m_options;
    int m_nSampleRate = 0;
    quint64 m_u64StartUs = 0;
    qint64 m_nSamplesRead = 0;
    bool m_bStarted = false; ///< opened, with a usable rate
    bool m_bFinished = false;
    float* m_pBlock = nullptr;
    qint64 m_nBlockSamples = 8192; ///< samples read at a time
    SnrEstimator m_snr;
    bool m_bSnrStarted = false;
};
