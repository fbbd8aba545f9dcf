#include "tools/cwdemodulator/audiofilewriter.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sndfile.h>

namespace cw {

namespace {

int formatFor(const QString& strPath)
{
    const QString suffix = QFileInfo(strPath).suffix().toLower();
    if (suffix == QLatin1String("wav"))
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (suffix == QLatin1String("flac"))
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (suffix == QLatin1String("ogg") || suffix == QLatin1String("oga"))
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    return 0;
}

} // namespace

AudioFileWriter::~AudioFileWriter()
{
    Abort();
}

bool AudioFileWriter::IsSupportedName(const QString& strPath)
{
    return formatFor(strPath) != 0;
}

bool AudioFileWriter::Open(const QString& strPath, int nSampleRate)
{
    Abort();
    m_strError.clear();
    const int format = formatFor(strPath);
    if (format == 0) {
        m_strError = QStringLiteral("%1: the name must end in .wav, .flac or .ogg").arg(strPath);
        return false;
    }
    if (QFileInfo::exists(strPath)) {
        m_strError = QStringLiteral("%1: the file exists; it is not replaced").arg(strPath);
        return false;
    }
    // Reserve a unique temporary name in the target's folder, then let libsndfile write it.
    QTemporaryFile reservation(strPath + QStringLiteral(".XXXXXX"));
    reservation.setAutoRemove(false);
    if (!reservation.open()) {
        m_strError =
            QStringLiteral("%1: cannot write there (%2)").arg(strPath, reservation.errorString());
        return false;
    }
    m_strTemporary = reservation.fileName();
    reservation.close();
    SF_INFO info{};
    info.samplerate = nSampleRate;
    info.channels = 1;
    info.format = format;
    m_pFile = sf_open(QFile::encodeName(m_strTemporary).constData(), SFM_WRITE, &info);
    if (!m_pFile) {
        m_strError =
            QStringLiteral("%1: %2").arg(strPath, QString::fromLocal8Bit(sf_strerror(nullptr)));
        QFile::remove(m_strTemporary);
        m_strTemporary.clear();
        return false;
    }
    if (format & SF_FORMAT_VORBIS) {
        double quality = 0.2; // a CW tone in noise needs little
        sf_command(static_cast<SNDFILE*>(m_pFile), SFC_SET_VBR_ENCODING_QUALITY, &quality,
                   sizeof(quality));
    }
    sf_command(static_cast<SNDFILE*>(m_pFile), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    m_strPath = strPath;
    return true;
}

bool AudioFileWriter::Write(const float* pSamples, qint64 nCount)
{
    if (!m_pFile)
        return false;
    if (sf_writef_float(static_cast<SNDFILE*>(m_pFile), pSamples, nCount) != nCount) {
        m_strError = QStringLiteral("%1: write error (%2)")
                         .arg(m_strPath,
                              QString::fromLocal8Bit(sf_strerror(static_cast<SNDFILE*>(m_pFile))));
        return false;
    }
    return true;
}

bool AudioFileWriter::Commit()
{
    if (!m_pFile)
        return false;
    const bool closed = sf_close(static_cast<SNDFILE*>(m_pFile)) == 0;
    m_pFile = nullptr;
    if (!closed) {
        m_strError = QStringLiteral("%1: could not finish the file").arg(m_strPath);
        Abort();
        return false;
    }
    // QFile::rename refuses to replace an existing file.
    if (!QFile::rename(m_strTemporary, m_strPath)) {
        m_strError = QStringLiteral("%1: the file exists; it is not replaced").arg(m_strPath);
        Abort();
        return false;
    }
    // The reservation was private to us; the finished recording is an ordinary file.
    QFile::setPermissions(m_strPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ReadGroup | QFileDevice::ReadOther);
    m_strTemporary.clear();
    return true;
}

void AudioFileWriter::Abort()
{
    if (m_pFile)
        sf_close(static_cast<SNDFILE*>(m_pFile));
    m_pFile = nullptr;
    if (!m_strTemporary.isEmpty())
        QFile::remove(m_strTemporary);
    m_strTemporary.clear();
}

} // namespace cw
