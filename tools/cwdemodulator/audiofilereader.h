#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

class QIODevice;

namespace cw {

/// Reads audio for the demodulator through libsndfile: any format it knows (WAV, FLAC, Ogg,
/// AIFF, ...) at any sample rate, taking the first channel, from a file or from a stream such
/// as standard input; or raw little-endian mono samples (16-bit or 32-bit float) at a given
/// rate.
class AudioFileReader
{
public:
    AudioFileReader();
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    /// Opens a recording; false, with ErrorString(), when it is not audio libsndfile can read
    /// or holds no samples.
    bool Open(const QString& strPath);
    /// Layouts of raw samples.
    enum class RawFormat
    {
        Signed16, ///< signed 16-bit little-endian
        Float32,  ///< 32-bit float little-endian, full scale +-1
    };

    /// Reads a recording from @p pDevice, a stream open for reading that need not seek (a
    /// pipe): libsndfile recognises the format by its content. @p strName names it in
    /// messages. The device must outlive the reader.
    bool OpenStream(QIODevice* pDevice, const QString& strName);
    /// Reads raw mono samples of @p format at @p nSampleRate from @p pDevice.
    bool OpenRawStream(QIODevice* pDevice, const QString& strName, int nSampleRate,
                       RawFormat format);
    /// True when @p header (the first bytes of an input) starts like a recording format
    /// libsndfile reads: WAV, RF64, FLAC, Ogg, AIFF, AU or CAF.
    static bool StartsLikeAudio(const QByteArray& header);
    void Close();

    int SampleRate() const { return m_nSampleRate; }
    int Channels() const { return m_nChannels; }
    /// Frames in the file; -1 when not known (standard input).
    qint64 Frames() const { return m_nFrames; }
    /// Reads up to @p nMax samples of the first channel; 0 at the end, -1 when the reader is
    /// not open. A recording that is cut short or corrupt ends where its readable samples end,
    /// and Shortfall() tells what is missing.
    qint64 Read(float* pOut, qint64 nMax);
    QString ErrorString() const { return m_strError; }
    /// Empty while the recording holds what its header promises; else what is missing (a file
    /// cut short, a header promising more samples than follow, data that does not decode). Known
    /// from the opening for some formats, else once Read() has reached the end.
    QString Shortfall() const { return m_strShortfall; }

    /// True when @p strPath looks like a recording: libsndfile can open it, its first bytes are
    /// those of a recording format, or its extension is one of libsndfile's formats (so that a
    /// damaged recording is reported as such rather than read as text).
    static bool LooksLikeAudio(const QString& strPath);

private:
    class Stream;

    bool finishOpen(const QString& strName);
    /// Notes a shortfall that libsndfile's log or the file's end shows right after opening.
    void checkCompleteness(const QString& strPath);
    /// Notes @p strReason as the shortfall unless one is known already.
    void noteEarlyEnd(const QString& strReason);
    /// At the end of the samples: notes fewer samples than the header promised, or an Ogg
    /// stream that stops before its end page.
    void noteEnd();
    bool openStream(QIODevice* pDevice, const QString& strName, void* pInfo);

    /// Opens @p strPath through the stream reader, which never seeks to the end: a file cut
    /// short that libsndfile cannot open whole (an Ogg file) still reads up to its cut.
    bool openCutFile(const QString& strPath);

    void* m_pFile = nullptr;
    std::unique_ptr<QIODevice> m_pFileDevice; ///< the file read as a stream by openCutFile()
    int m_nSampleRate = 0;
    int m_nChannels = 0;
    qint64 m_nFrames = -1;
    qint64 m_nPromisedFrames = -1; ///< what a stream's header promises; -1 when unknown
    qint64 m_nRead = 0;
    std::vector<float> m_interleaved;
    std::unique_ptr<Stream> m_pStream; ///< the virtual file libsndfile reads a stream through
    QString m_strError;
    QString m_strShortfall;
};

} // namespace cw
