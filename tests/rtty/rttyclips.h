#pragma once

#include "rttysignal.h"

#include "tools/cwdemodulator/audiofilereader.h"

#include <QFile>
#include <QString>

#include <string>
#include <vector>

/// The committed clips of tests/data/rtty (made by scripts/make-rtty-clips.sh).
namespace rttytest {

inline QString clipPath(const QString& name)
{
    return QStringLiteral(MORSE_TEST_DATA_DIR "/rtty/") + name;
}

/// The samples of a clip; empty when it cannot be read.
inline std::vector<float> readClip(const QString& name, int& sampleRate)
{
    cw::AudioFileReader reader;
    std::vector<float> samples;
    if (!reader.Open(clipPath(name)))
        return samples;
    sampleRate = reader.SampleRate();
    std::vector<float> block(4096);
    qint64 count = 0;
    while ((count = reader.Read(block.data(), qint64(block.size()))) > 0)
        samples.insert(samples.end(), block.begin(), block.begin() + count);
    return samples;
}

/// The text a clip carries (its .txt file, without the line end).
inline std::string clipText(const QString& name)
{
    QFile file(clipPath(name));
    if (!file.open(QIODevice::ReadOnly))
        return std::string();
    return file.readAll().trimmed().toStdString();
}

/// What the demodulator makes of a clip, told nothing, with the line ends trimmed.
inline Decoded decodeClip(const QString& name)
{
    int rate = 0;
    const std::vector<float> samples = readClip(name + QStringLiteral(".flac"), rate);
    fsk::FskDemodulator::Settings settings;
    settings.dSampleRate = rate;
    Decoded decoded = decode(samples, settings);
    decoded.text = QByteArray::fromStdString(decoded.text).trimmed().toStdString();
    return decoded;
}

} // namespace rttytest
