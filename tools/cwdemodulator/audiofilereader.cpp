#include "tools/cwdemodulator/audiofilereader.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegExp>

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cw {

namespace {

SNDFILE* handle(void* p)
{
    return static_cast<SNDFILE*>(p);
}

} // namespace

/// A stream seen by libsndfile as a file. Reading a header means seeking back and forth in its
/// first bytes, so every byte is kept until the file is open; afterwards reading only goes
/// forward and nothing is kept, so that a live stream never fills the memory.
class AudioFileReader::Stream
{
public:
    explicit Stream(QIODevice* pDevice) : m_pDevice(pDevice) {}

    /// Stops keeping bytes: the header has been read.
    void Opened() { m_bKeep = false; }

    static sf_count_t Length(void*)
    {
        // Unknown; large enough that no chunk length in a header looks cut off.
        return sf_count_t(1) << 62;
    }
    static sf_count_t Seek(sf_count_t nOffset, int nWhence, void* pUser)
    {
        Stream* self = static_cast<Stream*>(pUser);
        const sf_count_t target = nWhence == SEEK_CUR ? self->m_nPosition + nOffset : nOffset;
        if (nWhence == SEEK_END || target < 0)
            return -1;
        if (target < self->m_nKeptFrom)
            return -1; // behind what was kept: a stream cannot go back there
        while (self->m_nPosition < target) {
            char discard[4096];
            const sf_count_t count = Read(
                discard, std::min<sf_count_t>(sizeof discard, target - self->m_nPosition), pUser);
            if (count <= 0)
                return self->m_nPosition;
        }
        self->m_nPosition = target;
        return target;
    }
    static sf_count_t Read(void* pData, sf_count_t nCount, void* pUser)
    {
        Stream* self = static_cast<Stream*>(pUser);
        char* out = static_cast<char*>(pData);
        sf_count_t done = 0;
        const sf_count_t keptEnd = self->m_nKeptFrom + self->m_kept.size();
        if (self->m_nPosition < keptEnd) {
            done = std::min(nCount, keptEnd - self->m_nPosition);
            std::memcpy(out, self->m_kept.constData() + (self->m_nPosition - self->m_nKeptFrom),
                        size_t(done));
            self->m_nPosition += done;
        }
        while (done < nCount) {
            // A file on a pipe blocks until bytes come; 0 is the end of the stream.
            const qint64 count = self->m_pDevice->read(out + done, nCount - done);
            if (count <= 0)
                break;
            if (self->m_bKeep) {
                self->m_kept.append(out + done, int(count));
            } else {
                self->m_kept.clear();
                self->m_nKeptFrom = self->m_nPosition + count;
            }
            done += count;
            self->m_nPosition += count;
        }
        return done;
    }
    static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t Tell(void* pUser) { return static_cast<Stream*>(pUser)->m_nPosition; }

private:
    QIODevice* m_pDevice;
    QByteArray m_kept;          ///< bytes from m_nKeptFrom on, while the header is read
    sf_count_t m_nKeptFrom = 0; ///< stream position of the first kept byte
    sf_count_t m_nPosition = 0;
    bool m_bKeep = true;
};

AudioFileReader::AudioFileReader() = default;

AudioFileReader::~AudioFileReader()
{
    Close();
}

void AudioFileReader::Close()
{
    if (m_pFile)
        sf_close(handle(m_pFile));
    m_pFile = nullptr;
    m_pStream.reset();
    m_nSampleRate = 0;
    m_nChannels = 0;
    m_nFrames = -1;
    m_nRead = 0;
}

bool AudioFileReader::Open(const QString& strPath)
{
    Close();
    m_strError.clear();
    const QFileInfo info(strPath);
    if (!info.isFile()) {
        m_strError = QStringLiteral("%1: no such file").arg(strPath);
        return false;
    }
    if (info.size() == 0) {
        m_strError = QStringLiteral("%1: the file is empty").arg(strPath);
        return false;
    }
    SF_INFO sfInfo{};
    m_pFile = sf_open(QFile::encodeName(strPath).constData(), SFM_READ, &sfInfo);
    if (!m_pFile) {
        m_strError = QStringLiteral("%1: not a readable audio file (%2)")
                         .arg(strPath, QString::fromLocal8Bit(sf_strerror(nullptr)));
        return false;
    }
    m_nSampleRate = sfInfo.samplerate;
    m_nChannels = sfInfo.channels;
    m_nFrames = sfInfo.frames;
    // libsndfile quietly reads what is there of a cut-off file; its log tells.
    char log[4096] = {};
    sf_command(handle(m_pFile), SFC_GET_LOG_INFO, log, sizeof(log));
    const QRegExp shortData(QStringLiteral("data\\s*:\\s*(\\d+)\\s*\\(should be (\\d+)\\)"));
    if (shortData.indexIn(QString::fromLatin1(log)) >= 0 &&
        shortData.cap(2).toLongLong() < shortData.cap(1).toLongLong()) {
        m_strError = QStringLiteral("%1: the recording is truncated (%2 of %3 bytes of samples)")
                         .arg(strPath, shortData.cap(2), shortData.cap(1));
        Close();
        return false;
    }
    if (m_nFrames <= 0) {
        m_strError = QStringLiteral("%1: the recording holds no samples").arg(strPath);
        Close();
        return false;
    }
    return finishOpen(strPath);
}

bool AudioFileReader::OpenStream(QIODevice* pDevice, const QString& strName)
{
    SF_INFO sfInfo{};
    if (!openStream(pDevice, strName, &sfInfo))
        return false;
    m_nSampleRate = sfInfo.samplerate;
    m_nChannels = sfInfo.channels;
    m_nFrames = -1; // a header's count may be a placeholder in a live stream
    return finishOpen(strName);
}

bool AudioFileReader::OpenRawStream(QIODevice* pDevice, const QString& strName, int nSampleRate,
                                    RawFormat format)
{
    SF_INFO sfInfo{};
    sfInfo.samplerate = nSampleRate;
    sfInfo.channels = 1;
    sfInfo.format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE |
                    (format == RawFormat::Float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    if (!openStream(pDevice, strName, &sfInfo))
        return false;
    m_nSampleRate = nSampleRate;
    m_nChannels = 1;
    m_nFrames = -1;
    return finishOpen(strName);
}

bool AudioFileReader::openStream(QIODevice* pDevice, const QString& strName, void* pInfo)
{
    Close();
    m_strError.clear();
    static SF_VIRTUAL_IO io = {&Stream::Length, &Stream::Seek, &Stream::Read, &Stream::Write,
                               &Stream::Tell};
    m_pStream = std::make_unique<Stream>(pDevice);
    m_pFile = sf_open_virtual(&io, SFM_READ, static_cast<SF_INFO*>(pInfo), m_pStream.get());
    if (!m_pFile) {
        m_strError = QStringLiteral("%1: not audio that can be read (%2)")
                         .arg(strName, QString::fromLocal8Bit(sf_strerror(nullptr)));
        m_pStream.reset();
        return false;
    }
    m_pStream->Opened();
    return true;
}

bool AudioFileReader::StartsLikeAudio(const QByteArray& header)
{
    static const char* const MAGIC[] = {"RIFF", "RIFX", "RF64", "fLaC",
                                        "OggS", "FORM", ".snd", "caff"};
    for (const char* magic : MAGIC) {
        if (header.startsWith(magic))
            return true;
    }
    return false;
}

bool AudioFileReader::finishOpen(const QString& strName)
{
    if (m_nSampleRate <= 0 || m_nChannels <= 0) {
        m_strError = QStringLiteral("%1: bad sample rate or channel count").arg(strName);
        Close();
        return false;
    }
    // Integer files are read as floats in +-1 without clipping surprises.
    sf_command(handle(m_pFile), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    return true;
}

qint64 AudioFileReader::Read(float* pOut, qint64 nMax)
{
    if (!m_pFile || nMax <= 0)
        return m_pFile ? 0 : -1;
    sf_count_t got = 0;
    if (m_nChannels == 1) {
        got = sf_readf_float(handle(m_pFile), pOut, nMax);
    } else {
        m_interleaved.resize(size_t(nMax) * size_t(m_nChannels));
        got = sf_readf_float(handle(m_pFile), m_interleaved.data(), nMax);
        for (sf_count_t i = 0; i < got; ++i)
            pOut[i] = m_interleaved[size_t(i) * size_t(m_nChannels)];
    }
    if (got < 0 || (got == 0 && sf_error(handle(m_pFile)) != SF_ERR_NO_ERROR)) {
        m_strError = QStringLiteral("read error: %1")
                         .arg(QString::fromLocal8Bit(sf_strerror(handle(m_pFile))));
        return -1;
    }
    m_nRead += got;
    return got;
}

bool AudioFileReader::LooksLikeAudio(const QString& strPath)
{
    SF_INFO sfInfo{};
    if (SNDFILE* file = sf_open(QFile::encodeName(strPath).constData(), SFM_READ, &sfInfo)) {
        sf_close(file);
        return true;
    }
    const QString suffix = QFileInfo(strPath).suffix().toLower();
    if (suffix.isEmpty())
        return false;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO format{};
        format.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &format, sizeof(format));
        if (format.extension && suffix == QLatin1String(format.extension))
            return true;
    }
    return suffix == QLatin1String("oga") || suffix == QLatin1String("opus");
}

} // namespace cw
