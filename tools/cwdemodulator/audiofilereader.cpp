#include "tools/cwdemodulator/audiofilereader.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

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

/// The first bytes of the file @p strPath (empty when it cannot be read).
QByteArray firstBytes(const QString& strPath, int nCount)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.read(nCount) : QByteArray();
}

/// Reads libsndfile's log line "data : PROMISED (should be HELD)", which it writes for a file
/// whose data chunk claims more bytes than follow. Parsed by hand: a regular expression keeps
/// process-wide state that readers in parallel threads would share.
bool findShortData(const QByteArray& log, qint64& nPromised, qint64& nHeld)
{
    for (int at = log.indexOf("data"); at >= 0; at = log.indexOf("data", at + 4)) {
        const int lineEnd = log.indexOf('\n', at);
        const QByteArray line = log.mid(at + 4, lineEnd < 0 ? -1 : lineEnd - at - 4).simplified();
        if (!line.startsWith(':'))
            continue;
        const int should = line.indexOf("(should be ");
        if (should < 0 || !line.endsWith(')'))
            continue;
        bool bPromised = false;
        bool bHeld = false;
        nPromised = line.mid(1, should - 1).trimmed().toLongLong(&bPromised);
        nHeld = line.mid(should + 11, line.size() - should - 12).trimmed().toLongLong(&bHeld);
        if (bPromised && bHeld)
            return true;
    }
    return false;
}

/// Bytes at the end of an Ogg stream that hold its last whole page: more than the largest page
/// (27 + 255 + 255 * 255 bytes).
constexpr int OGG_TAIL = 70000;

/// Why the Ogg stream whose last bytes are @p tail is incomplete: its last page is cut off or
/// is not marked as the end of the stream. Empty for a complete stream. An Ogg stream cut short
/// reads without an error, so its end is checked here.
QString oggTailShortfall(const QByteArray& tail)
{
    constexpr int PAGE_HEADER = 27;
    // The last page that starts with a whole header: a capture pattern with version 0.
    for (int at = tail.lastIndexOf("OggS"); at >= 0; at = tail.lastIndexOf("OggS", at - 1)) {
        if (tail.size() - at < PAGE_HEADER || tail.at(at + 4) != 0)
            continue;
        const int segments = static_cast<uchar>(tail.at(at + 26));
        qint64 pageEnd = at + PAGE_HEADER + segments;
        for (int i = 0; i < segments && at + PAGE_HEADER + i < tail.size(); ++i)
            pageEnd += static_cast<uchar>(tail.at(at + PAGE_HEADER + i));
        if (pageEnd > tail.size())
            return QStringLiteral("the last Ogg page is cut off after %1 of %2 bytes")
                .arg(tail.size() - at)
                .arg(pageEnd - at);
        if ((tail.at(at + 5) & 0x04) == 0)
            return QStringLiteral("the Ogg stream stops before its end page");
        return QString();
    }
    return QString();
}

/// Why the Ogg file @p strPath is incomplete (see oggTailShortfall); empty for a complete file
/// or one that is not Ogg.
QString oggEndShortfall(const QString& strPath)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly) || !file.read(4).startsWith("OggS"))
        return QString();
    if (!file.seek(std::max<qint64>(0, file.size() - OGG_TAIL)))
        return QString();
    return oggTailShortfall(file.readAll());
}

/// The samples a stream's header promises, or -1 when its count is unknown or a placeholder:
/// a writer that cannot seek back (arecord, sox on a pipe) leaves the largest 32-bit size, and
/// a FLAC encoder that does not know the length leaves 0.
qint64 promisedFrames(const SF_INFO& info)
{
    int bytesPerSample = 2;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        bytesPerSample = 1;
        break;
    case SF_FORMAT_PCM_24:
        bytesPerSample = 3;
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        bytesPerSample = 4;
        break;
    case SF_FORMAT_DOUBLE:
        bytesPerSample = 8;
        break;
    default:
        break;
    }
    constexpr double PLACEHOLDER_BYTES = double(0x7FFF0000);
    const double bytes = double(info.frames) * std::max(1, info.channels) * bytesPerSample;
    return info.frames > 0 && bytes < PLACEHOLDER_BYTES ? qint64(info.frames) : -1;
}

} // namespace

/// A stream seen by libsndfile as a file. Reading a header means seeking back and forth in its
/// first bytes, so every byte is kept until the file is open; afterwards reading only goes
/// forward and nothing is kept, so that a live stream never fills the memory.
class AudioFileReader::Stream
{
public:
    explicit Stream(QIODevice* pDevice) : m_pDevice(pDevice) {}

    /// Stops keeping bytes: the header has been read. From here on an Ogg stream keeps its
    /// last bytes, to tell at its end whether it is complete.
    void Opened()
    {
        m_bKeep = false;
        m_bOgg = m_nKeptFrom == 0 && m_kept.startsWith("OggS");
        if (m_bOgg)
            m_tail = m_kept.right(OGG_TAIL);
    }
    /// Why the stream read so far is an incomplete Ogg stream; empty when it is complete or
    /// not Ogg.
    QString OggShortfall() const { return m_bOgg ? oggTailShortfall(m_tail) : QString(); }

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
                if (self->m_bOgg)
                    self->keepTail(out + done, count);
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
    /// Appends @p nCount bytes to the tail, trimmed once it is twice as long as it must be.
    void keepTail(const char* pBytes, qint64 nCount)
    {
        m_tail.append(pBytes, int(nCount));
        if (m_tail.size() > 2 * OGG_TAIL)
            m_tail.remove(0, m_tail.size() - OGG_TAIL);
    }

    QIODevice* m_pDevice;
    QByteArray m_kept;          ///< bytes from m_nKeptFrom on, while the header is read
    sf_count_t m_nKeptFrom = 0; ///< stream position of the first kept byte
    sf_count_t m_nPosition = 0;
    bool m_bKeep = true;
    bool m_bOgg = false;
    QByteArray m_tail; ///< the last bytes of an Ogg stream
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
    m_pFileDevice.reset();
    m_nSampleRate = 0;
    m_nChannels = 0;
    m_nFrames = -1;
    m_nPromisedFrames = -1;
    m_nRead = 0;
    m_strShortfall.clear();
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
        const QString reason = QString::fromLocal8Bit(sf_strerror(nullptr));
        if (openCutFile(strPath))
            return true;
        m_strError = QStringLiteral("%1: not a readable audio file (%2)").arg(strPath, reason);
        return false;
    }
    m_nSampleRate = sfInfo.samplerate;
    m_nChannels = sfInfo.channels;
    m_nFrames = sfInfo.frames;
    checkCompleteness(strPath);
    if (m_nFrames <= 0) {
        m_strError = QStringLiteral("%1: the recording holds no samples").arg(strPath);
        Close();
        return false;
    }
    return finishOpen(strPath);
}

bool AudioFileReader::openCutFile(const QString& strPath)
{
    auto file = std::make_unique<QFile>(strPath);
    if (!StartsLikeAudio(firstBytes(strPath, 4)) || !file->open(QIODevice::ReadOnly))
        return false;
    SF_INFO sfInfo{};
    if (!openStream(file.get(), strPath, &sfInfo)) {
        m_strError.clear();
        return false;
    }
    m_pFileDevice = std::move(file);
    m_nSampleRate = sfInfo.samplerate;
    m_nChannels = sfInfo.channels;
    m_nFrames = -1;
    m_strShortfall = oggEndShortfall(strPath);
    if (m_strShortfall.isEmpty())
        m_strShortfall = QStringLiteral("the file is damaged: only its beginning can be read");
    return finishOpen(strPath);
}

void AudioFileReader::checkCompleteness(const QString& strPath)
{
    // libsndfile quietly reads what is there of a cut-off WAV, AIFF or AU file; its log tells.
    char log[4096] = {};
    sf_command(handle(m_pFile), SFC_GET_LOG_INFO, log, sizeof(log));
    qint64 nPromised = 0;
    qint64 nHeld = 0;
    if (findShortData(QByteArray(log), nPromised, nHeld) && nHeld < nPromised) {
        m_strShortfall = QStringLiteral("the header promises %1 bytes of samples, the file holds "
                                        "%2")
                             .arg(nPromised)
                             .arg(nHeld);
        return;
    }
    m_strShortfall = oggEndShortfall(strPath);
}

void AudioFileReader::noteEarlyEnd(const QString& strReason)
{
    if (m_strShortfall.isEmpty() && !strReason.isEmpty())
        m_strShortfall = strReason;
}

bool AudioFileReader::OpenStream(QIODevice* pDevice, const QString& strName)
{
    SF_INFO sfInfo{};
    if (!openStream(pDevice, strName, &sfInfo))
        return false;
    m_nSampleRate = sfInfo.samplerate;
    m_nChannels = sfInfo.channels;
    m_nFrames = -1; // a header's count may be a placeholder in a live stream
    m_nPromisedFrames = promisedFrames(sfInfo);
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
        // Corrupt from here on: what came before stands.
        noteEarlyEnd(QStringLiteral("the samples stop decoding after %1 (%2)")
                         .arg(m_nRead)
                         .arg(QString::fromLocal8Bit(sf_strerror(handle(m_pFile)))));
        return 0;
    }
    if (got == 0)
        noteEnd();
    m_nRead += got;
    return got;
}

void AudioFileReader::noteEnd()
{
    const qint64 nPromised = m_nFrames > 0 ? m_nFrames : m_nPromisedFrames;
    if (nPromised > 0 && m_nRead < nPromised)
        noteEarlyEnd(QStringLiteral("the recording ends after %1 of its %2 samples")
                         .arg(m_nRead)
                         .arg(nPromised));
    else if (m_pStream)
        noteEarlyEnd(m_pStream->OggShortfall());
}

bool AudioFileReader::LooksLikeAudio(const QString& strPath)
{
    SF_INFO sfInfo{};
    if (SNDFILE* file = sf_open(QFile::encodeName(strPath).constData(), SFM_READ, &sfInfo)) {
        sf_close(file);
        return true;
    }
    if (StartsLikeAudio(firstBytes(strPath, 4)))
        return true;
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
    return suffix == QLatin1String("oga") || suffix == QLatin1String("ogg") ||
           suffix == QLatin1String("opus");
}

} // namespace cw
