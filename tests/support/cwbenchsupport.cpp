#include "cwbenchsupport.h"

#include "editdistance.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsedsp/dspconstants.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace cwbench {

QString codesToText(const std::vector<int>& codes)
{
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> map;
        const morse::InternationalAlphabet::Entry* entries =
            morse::InternationalAlphabet::Entries();
        for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i)
            map.insert(QString::fromLatin1(entries[i].code), QString::fromLatin1(entries[i].text));
        return map;
    }();
    QString text;
    QString character;
    for (int code : codes) {
        switch (code & 127) {
        case 0:
            character += QLatin1Char('.');
            break;
        case 1:
            character += QLatin1Char('-');
            break;
        case 3:
            text += table.value(character);
            character.clear();
            break;
        case 4:
            text += table.value(character) + QLatin1Char(' ');
            character.clear();
            break;
        case 5:
            if (!character.isEmpty())
                text += table.value(character);
            character.clear();
            text += QLatin1Char('\n');
            break;
        default:
            break;
        }
    }
    return text;
}

std::vector<int> demodulate(const std::vector<float>& samples, int nSampleRate, int nBlock,
                            double* pWpm, double* pPitch, double dGivenPitch,
                            std::vector<std::int64_t>* pPositions)
{
    cw::CwDemodulator::Settings settings;
    settings.dSampleRate = nSampleRate;
    settings.dPitchHz = dGivenPitch;
    cw::CwDemodulator demodulator(settings);
    std::vector<int> codes;
    auto keep = [&](const cw::CwSymbol& symbol) {
        codes.push_back(symbol.nCode);
        if (pPositions)
            pPositions->push_back(symbol.nSamplePosition);
    };
    cw::CwSymbol symbol;
    for (size_t i = 0; i < samples.size(); i += size_t(nBlock)) {
        demodulator.Process(samples.data() + i, std::min(size_t(nBlock), samples.size() - i));
        while (demodulator.TakeSymbol(symbol))
            keep(symbol);
    }
    demodulator.Finish();
    while (demodulator.TakeSymbol(symbol))
        keep(symbol);
    if (pWpm)
        *pWpm = demodulator.Wpm();
    if (pPitch)
        *pPitch = demodulator.Pitch();
    return codes;
}

QString normalized(const QString& text)
{
    return text.toUpper().simplified();
}

int editDistance(const QString& a, const QString& b)
{
    return int(support::editDistance(a, b));
}

std::vector<float> readAudio(const QString& strPath)
{
    std::vector<float> samples;
    cw::AudioFileReader reader;
    if (reader.Open(strPath)) {
        float block[4096];
        for (qint64 n; (n = reader.Read(block, 4096)) > 0;)
            samples.insert(samples.end(), block, block + n);
    }
    return samples;
}

bool writeAudio(const QString& strPath, const std::vector<float>& samples, int nRate)
{
    cw::AudioFileWriter writer;
    return writer.Open(strPath, nRate) && writer.Write(samples.data(), qint64(samples.size())) &&
           writer.Commit();
}

void addNoise(std::vector<float>& samples, int nRate, double dSnrDb, quint32 uSeed)
{
    float peak = 0.0f;
    for (float sample : samples)
        peak = std::max(peak, std::abs(sample));
    addNoiseAt(samples, nRate, 0.5 * double(peak) * double(peak), dSnrDb, uSeed);
}

void addNoiseAt(std::vector<float>& samples, int nRate, double dTonePower, double dSnrDb,
                quint32 uSeed)
{
    const double sigma =
        std::sqrt(dTonePower / std::pow(10.0, dSnrDb / 10.0) * (nRate / 2.0) / 2500.0);
    // Box-Muller on the generator's raw output, so that every platform adds the same noise.
    std::mt19937 generator(uSeed);
    auto uniform = [&generator] { return (double(generator()) + 0.5) / 4294967296.0; };
    for (size_t i = 0; i < samples.size(); i += 2) {
        const double radius = sigma * std::sqrt(-2.0 * std::log(uniform()));
        const double angle = dsp::TWO_PI * uniform();
        samples[i] = float(samples[i] + radius * std::cos(angle));
        if (i + 1 < samples.size())
            samples[i + 1] = float(samples[i + 1] + radius * std::sin(angle));
    }
}

} // namespace cwbench
