#pragma once

#include <QString>
#include <QtGlobal>

namespace cw {

/// Writes a mono recording through libsndfile, in the format its name ends with: ".wav"
/// (16-bit PCM), ".flac" (16-bit) or ".ogg"/".oga" (Vorbis). Writes to a temporary file
/// beside the target and moves it into place on Commit(), never replacing an existing file.
class AudioFileWriter
{
public:
    AudioFileWriter() = default;
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    /// False, with ErrorString(), for an unknown extension, an existing target or an
    /// unwritable folder.
    bool Open(const QString& strPath, int nSampleRate);
    bool Write(const float* pSamples, qint64 nCount);
    /// Closes the file and gives it its name; false if the target appeared meanwhile.
    bool Commit();
    /// Drops the temporary file.
    void Abort();
    QString ErrorString() const { return m_strError; }

    /// True for the file names Open() accepts.
    static bool IsSupportedName(const QString& strPath);

private:
    void* m_pFile = nullptr;
    QString m_strPath;
    QString m_strTemporary;
    QString m_strError;
};

} // namespace cw
