#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

namespace cw {

/// Reads audio for the demodulator through libsndfile: any format it knows (WAV, FLAC, Ogg,
/// AIFF, ...) at any sample rate, taking the first channel; or raw signed 16-bit
/// little-endian mono samples from standard input at a given rate.
class AudioFileReader
{
public:
    AudioFileReader() = default;
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    /// Opens a recording; false, with ErrorString(), when it is not audio libsndfile can read
    /// or holds no samples.
    bool Open(const QString& strPath);
    /// Reads raw 16-bit samples at @p nSampleRate from standard input.
    bool OpenStandardInput(int nSampleRate);
    void Close();

    int SampleRate() const { return m_nSampleRate; }
    int Channels() const { return m_nChannels; }
    /// Frames in the file; -1 when not known (standard input).
    qint64 Frames() const { return m_nFrames; }
    /// Reads up to @p nMax samples of the first channel; 0 at the end, -1 on a read error.
    qint64 Read(float* pOut, qint64 nMax);
    QString ErrorString() const { return m_strError; }

    /// True when @p strPath looks like a recording: libsndfile can open it, or its extension
    /// is one of libsndfile's formats (so that a damaged recording is reported as such).
    static bool LooksLikeAudio(const QString& strPath);

private:
    bool finishOpen(const QString& strName);

    void* m_pFile = nullptr;
    int m_nSampleRate = 0;
    int m_nChannels = 0;
    qint64 m_nFrames = -1;
    qint64 m_nRead = 0;
    std::vector<float> m_interleaved;
    QString m_strError;
};

} // namespace cw
