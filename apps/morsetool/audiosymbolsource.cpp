#include "audiosymbolsource.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/cwdemodulator.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFileInfo>
#include <QIODevice>

#include <cstdio>
#include <vector>

namespace {

constexpr qint64 BLOCK_SAMPLES = 8192;
/// The highest sample rate the demodulator takes (CwDemodulator::IsUsableSampleRate).
constexpr int MAX_SAMPLE_RATE = 768000;
/// A stream is read in blocks of this length, so that a live input waits no longer for a
/// block than a sound card takes to hand one on.
constexpr double STREAM_BLOCK_SECONDS = 0.02;

} // namespace

QList<QCommandLineOption> AudioSymbolSource::commandLineOptions()
{
    return {
        {QStringLiteral("pitch"),
         QStringLiteral("Recordings: the CW tone in Hz (default: found between 200 and 1500 Hz)."),
         QStringLiteral("HZ")},
        {QStringLiteral("rate"),
         QStringLiteral("Read standard input as raw little-endian mono samples at this rate "
                        "(Hz); without it, a recording on standard input is recognised by its "
                        "content (WAV, FLAC, Ogg, ...)."),
         QStringLiteral("HZ")},
        {QStringLiteral("sample-format"),
         QStringLiteral("Raw samples: s16 (signed 16-bit, the default) or f32 (32-bit float)."),
         QStringLiteral("FORMAT")},
        {QStringLiteral("start-time"),
         QStringLiteral("Recordings: when the recording began, as UTC date and time "
                        "yyyy-MM-ddThh:mm:ss[.zzz] (default: the file's modification time less "
                        "its length)."),
         QStringLiteral("TIME")},
    };
}

bool AudioSymbolSource::readOptions(const QCommandLineParser& parser, Options& options,
                                    QString& strError)
{
    bool ok = true;
    if (parser.isSet(QStringLiteral("pitch"))) {
        options.dPitchHz = parser.value(QStringLiteral("pitch")).toDouble(&ok);
        if (!ok || options.dPitchHz < 50.0 || options.dPitchHz > 20000.0) {
            strError = QStringLiteral("--pitch expects a tone in Hz, got \"%1\"")
                           .arg(parser.value(QStringLiteral("pitch")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("rate"))) {
        options.nRawSampleRate = parser.value(QStringLiteral("rate")).toInt(&ok);
        if (!ok || !cw::CwDemodulator::IsUsableSampleRate(options.nRawSampleRate)) {
            strError = QStringLiteral("--rate expects a sample rate from 4000 to %1 Hz, got \"%2\"")
                           .arg(MAX_SAMPLE_RATE)
                           .arg(parser.value(QStringLiteral("rate")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("sample-format"))) {
        const QString format = parser.value(QStringLiteral("sample-format"));
        if (!parser.isSet(QStringLiteral("rate"))) {
            strError = QStringLiteral("--sample-format needs --rate: it describes raw samples");
            return false;
        }
        if (format != QLatin1String("s16") && format != QLatin1String("f32")) {
            strError = QStringLiteral("--sample-format expects s16 or f32, got \"%1\"").arg(format);
            return false;
        }
        options.bRawFloat = format == QLatin1String("f32");
    }
    return readStartTime(parser, options.bHaveStartTime, options.u64StartTimeUs, strError);
}

bool AudioSymbolSource::readStartTime(const QCommandLineParser& parser, bool& bHave,
                                      quint64& u64StartUs, QString& strError)
{
    if (!parser.isSet(QStringLiteral("start-time")))
        return true;
    QDateTime start =
        QDateTime::fromString(parser.value(QStringLiteral("start-time")), Qt::ISODateWithMs);
    start.setTimeSpec(Qt::UTC);
    if (!start.isValid() || start.toMSecsSinceEpoch() < 0) {
        strError = QStringLiteral("--start-time expects yyyy-MM-ddThh:mm:ss, got \"%1\"")
                       .arg(parser.value(QStringLiteral("start-time")));
        return false;
    }
    bHave = true;
    u64StartUs = quint64(start.toMSecsSinceEpoch()) * 1000u;
    return true;
}

quint64 AudioSymbolSource::fileStartUs(const QString& strPath, qint64 nFrames, int nSampleRate)
{
    // A recording is written as it is made: it began its length before it was last modified.
    const qint64 endUs = QFileInfo(strPath).lastModified().toMSecsSinceEpoch() * 1000;
    // In floating point: a damaged header may claim a length of up to 2^63 frames.
    const double lengthUs = double(std::max<qint64>(0, nFrames)) * 1e6 / double(nSampleRate);
    return lengthUs >= double(endUs) ? 0u : quint64(endUs - qint64(lengthUs));
}

AudioSymbolSource::AudioSymbolSource() : m_pReader(std::make_unique<cw::AudioFileReader>())
{
    m_pBlock = new float[BLOCK_SAMPLES];
}

AudioSymbolSource::~AudioSymbolSource()
{
    delete[] m_pBlock;
}

bool AudioSymbolSource::IsAudioFile(const QString& strPath)
{
    return cw::AudioFileReader::LooksLikeAudio(strPath);
}

bool AudioSymbolSource::open(const QString& strPath, const Options& options)
{
    m_options = options;
    m_strError.clear();
    if (!m_pReader->Open(strPath)) {
        m_strError = m_pReader->ErrorString();
        return false;
    }
    return start(strPath, false);
}

bool AudioSymbolSource::openStream(std::unique_ptr<QIODevice> device, const Options& options)
{
    m_options = options;
    m_strError.clear();
    m_pDevice = std::move(device);
    const QString name = QStringLiteral("standard input");
    const bool opened =
        options.nRawSampleRate > 0
            ? m_pReader->OpenRawStream(m_pDevice.get(), name, options.nRawSampleRate,
                                       options.bRawFloat ? cw::AudioFileReader::RawFormat::Float32
                                                         : cw::AudioFileReader::RawFormat::Signed16)
            : m_pReader->OpenStream(m_pDevice.get(), name);
    if (!opened) {
        m_strError = m_pReader->ErrorString();
        return false;
    }
    m_nBlockSamples =
        qBound<qint64>(1, qint64(m_pReader->SampleRate() * STREAM_BLOCK_SECONDS), BLOCK_SAMPLES);
    return start(name, true);
}

bool AudioSymbolSource::start(const QString& strPath, bool bStream)
{
    const Options& options = m_options;
    m_nSampleRate = m_pReader->SampleRate();
    if (!cw::CwDemodulator::IsUsableSampleRate(m_nSampleRate)) {
        m_strError = m_nSampleRate > MAX_SAMPLE_RATE
                         ? QStringLiteral("%1: a sample rate of %2 Hz is too high for the "
                                          "demodulator (%3 Hz at most)")
                               .arg(strPath)
                               .arg(m_nSampleRate)
                               .arg(MAX_SAMPLE_RATE)
                         : QStringLiteral("%1: a sample rate of %2 Hz is too low for CW from 200 "
                                          "to 1500 Hz (4000 Hz at least)")
                               .arg(strPath)
                               .arg(m_nSampleRate);
        return false;
    }
    if (options.dPitchHz > 0.0 && options.dPitchHz >= m_nSampleRate / 2.0) {
        m_strError = QStringLiteral("--pitch must be below half the sample rate");
        return false;
    }

    if (options.bHaveStartTime) {
        m_u64StartUs = options.u64StartTimeUs;
    } else if (bStream) {
        m_u64StartUs = quint64(QDateTime::currentMSecsSinceEpoch()) * 1000u;
    } else {
        m_u64StartUs = fileStartUs(strPath, m_pReader->Frames(), m_nSampleRate);
    }

    // The demodulator is made when the first symbol is asked for: a skim only reads samples.
    m_bStarted = true;
    return true;
}

void AudioSymbolSource::makeDemodulator()
{
    cw::CwDemodulator::Settings settings;
    settings.dSampleRate = m_nSampleRate;
    settings.dPitchHz = m_options.dPitchHz;
    settings.characterCodes = m_options.characterCodes;
    m_pDemodulator = std::make_unique<cw::CwDemodulator>(settings);
}

QString AudioSymbolSource::summary() const
{
    if (wordsPerMinute() <= 0.0)
        return QString();
    return QStringLiteral("tone %1 Hz, speed %2 WPM")
        .arg(pitchHz(), 0, 'f', 1)
        .arg(wordsPerMinute(), 0, 'f', 1);
}

QString AudioSymbolSource::shortfall() const
{
    return m_pReader->Shortfall();
}

bool AudioSymbolSource::heardNothing() const
{
    return m_bFinished && m_strError.isEmpty() && wordsPerMinute() <= 0.0;
}

double AudioSymbolSource::pitchHz() const
{
    return m_pDemodulator ? m_pDemodulator->Pitch() : 0.0;
}

double AudioSymbolSource::wordsPerMinute() const
{
    return m_pDemodulator ? m_pDemodulator->Wpm() : 0.0;
}

bool AudioSymbolSource::next(Symbol& symbol)
{
    if (!m_bStarted)
        return false;
    if (!m_pDemodulator)
        makeDemodulator();
    cw::CwSymbol decided;
    while (!m_pDemodulator->TakeSymbol(decided)) {
        if (m_bFinished || !readMore())
            return false;
    }
    symbol.code = decided.nCode;
    symbol.hasTimestamp = true;
    symbol.timestampUs =
        m_u64StartUs + quint64(decided.nSamplePosition) * 1000000u / quint64(m_nSampleRate);
    return true;
}

bool AudioSymbolSource::readMore()
{
    const qint64 count = m_pReader->Read(m_pBlock, m_nBlockSamples);
    if (count < 0) {
        m_strError = m_pReader->ErrorString();
        return false;
    }
    if (count == 0) {
        m_pDemodulator->Finish();
        m_bFinished = true;
        return true;
    }
    m_pDemodulator->Process(m_pBlock, size_t(count));
    if (m_options.bEstimateSnr && !m_bSnrStarted && m_pDemodulator->HasPitch()) {
        m_snr.create(m_nSampleRate, m_pDemodulator->Pitch());
        m_bSnrStarted = true;
    }
    m_snr.push(m_pBlock, long(count));
    m_nSamplesRead += count;
    return true;
}

bool AudioSymbolSource::readSamples(const float*& pSamples, qint64& nCount)
{
    nCount = m_pReader->Read(m_pBlock, m_nBlockSamples);
    if (nCount < 0) {
        m_strError = m_pReader->ErrorString();
        return false;
    }
    pSamples = m_pBlock;
    m_nSamplesRead += nCount;
    m_bFinished = nCount == 0;
    return true;
}

double AudioSymbolSource::progress() const
{
    const qint64 frames = m_pReader->Frames();
    return m_pDevice || frames <= 0 ? -1.0 : double(m_nSamplesRead) / double(frames);
}
