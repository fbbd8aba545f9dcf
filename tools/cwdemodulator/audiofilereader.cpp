#include "tools/cwdemodulator/audiofilereader.h"

#include <QFile>
#include <QFileInfo>
#include <QRegExp>

#include <sndfile.h>

#include <algorithm>
#include <cstdio>

namespace cw {

namespace {

SNDFILE* handle(void* p)
{
    return static_cast<SNDFILE*>(p);
}

} // namespace

AudioFileReader::~AudioFileReader()
{
    Close();
}

void AudioFileReader::Close()
{
    if (m_pFile)
        sf_close(handle(m_pFile));
    m_pFile = nullptr;
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

bool AudioFileReader::OpenStandardInput(int nSampleRate)
{
    Close();
    m_strError.clear();
    SF_INFO sfInfo{};
    sfInfo.samplerate = nSampleRate;
    sfInfo.channels = 1;
    sfInfo.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    m_pFile = sf_open_fd(fileno(stdin), SFM_READ, &sfInfo, SF_FALSE);
    if (!m_pFile) {
        m_strError = QStringLiteral("standard input: cannot read raw audio (%1)")
                         .arg(QString::fromLocal8Bit(sf_strerror(nullptr)));
        return false;
    }
    m_nSampleRate = nSampleRate;
    m_nChannels = 1;
    m_nFrames = -1;
    return finishOpen(QStringLiteral("standard input"));
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
