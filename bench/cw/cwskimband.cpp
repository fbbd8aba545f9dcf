#include "cwskimband.h"

#include "cwbenchsets.h"

#include "tools/cwdemodulator/cwsynthesizer.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace cwskim {

namespace {

/// Everything is scaled down so that even 200 strong transmitters stay well inside full scale.
constexpr double GAIN = 0.01;
constexpr double EBOOK2CW_MAX_PITCH_HZ = 3000.0;

std::vector<float> renderSignal(const Signal& signal, int nRate, double dAmplitude,
                                const QString& strWorkDir)
{
    if (signal.bEbook2cw) {
        std::vector<float> tone =
            cwbench::renderEbook2cw(signal.text, signal.dWpm, signal.dPitchHz, nRate, strWorkDir);
        float peak = 0.0f;
        for (float sample : tone)
            peak = std::max(peak, std::abs(sample));
        if (peak <= 0.0f)
            return {};
        const size_t lead = size_t(signal.dStartSec * nRate);
        std::vector<float> out(lead, 0.0f);
        out.reserve(lead + tone.size());
        for (float sample : tone)
            out.push_back(float(sample / peak * dAmplitude));
        return out;
    }
    cw::CwSynthesizer::Settings settings;
    settings.nSampleRate = nRate;
    settings.dPitchHz = signal.dPitchHz;
    settings.dWpm = signal.dWpm;
    settings.dLeadInSec = signal.dStartSec;
    settings.dTailSec = 0.0;
    settings.dAmplitude = dAmplitude;
    settings.dRiseMs = signal.dRiseMs;
    settings.uSeed = signal.uSeed;
    if (signal.bHandSent) {
        settings.dJitterPercent = 15.0;
        settings.dWeight = 1.2;
        settings.dRiseMs = 8.0;
        settings.dDriftHzPerSec = 0.3;
    }
    cw::CwSynthesizer synthesizer(settings);
    if (!synthesizer.SetText(signal.text))
        return {};
    return synthesizer.RenderAll();
}

} // namespace

Band randomBand(int nSignals, int nRate, double dLowHz, double dHighHz, quint32 uSeed,
                bool bEbook2cw, double dMinApartHz, double dStaggerSec)
{
    std::mt19937 generator(uSeed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Pitches: the band's spare room shared out at random between the minimum gaps.
    const double spare = dHighHz - dLowHz - dMinApartHz * (nSignals - 1);
    std::vector<double> offsets;
    for (int i = 0; i < nSignals; ++i)
        offsets.push_back(unit(generator) * std::max(0.0, spare));
    std::sort(offsets.begin(), offsets.end());
    Band band;
    band.nRate = nRate;
    for (int i = 0; i < nSignals; ++i) {
        Signal signal;
        signal.dPitchHz = std::round(dLowHz + offsets[size_t(i)] + dMinApartHz * i);
        signal.text = cwbench::randomText(generator, 6);
        signal.dSnrDb = 15.0 * unit(generator);
        signal.dWpm = std::round(15.0 + 20.0 * unit(generator));
        signal.dStartSec = 0.5 + dStaggerSec * unit(generator);
        signal.bHandSent = i % 2 == 1;
        // ebook2cw makes tones up to about 3 kHz only.
        signal.bEbook2cw = bEbook2cw && i % 2 == 0 && signal.dPitchHz <= EBOOK2CW_MAX_PITCH_HZ;
        signal.uSeed = uSeed * 1000u + quint32(i);
        band.transmitters.push_back(signal);
    }
    // A random order of pitches, so that hand-sent and louder transmitters are spread over the
    // band.
    std::shuffle(band.transmitters.begin(), band.transmitters.end(), generator);
    return band;
}

std::vector<float> render(const Band& band, quint32 uNoiseSeed, const QString& strWorkDir)
{
    std::vector<float> mix;
    for (const Signal& signal : band.transmitters) {
        // Noise of power 1/2 in 2500 Hz (before the gain): a tone of power 1/2 is at 0 dB.
        const double amplitude = GAIN * std::pow(10.0, signal.dSnrDb / 20.0);
        const std::vector<float> tone = renderSignal(signal, band.nRate, amplitude, strWorkDir);
        if (tone.empty())
            return {};
        if (tone.size() > mix.size())
            mix.resize(tone.size(), 0.0f);
        for (size_t i = 0; i < tone.size(); ++i)
            mix[i] += tone[i];
    }
    mix.resize(mix.size() + size_t(band.dTailSec * band.nRate), 0.0f);
    // The shared noise helper sets the noise from the peak: one full-scale sample, taken
    // out again afterwards, makes it noise of power 1/2 in 2500 Hz at 0 dB.
    std::vector<float> noise(mix.size(), 0.0f);
    noise[0] = 1.0f;
    cwbench::addNoise(noise, band.nRate, 0.0, uNoiseSeed);
    noise[0] -= 1.0f;
    for (size_t i = 0; i < mix.size(); ++i)
        mix[i] += float(GAIN * noise[i]);
    return mix;
}

std::vector<Decoded> skim(const std::vector<float>& samples, cw::CwSkimmer::Settings settings,
                          size_t nBlock)
{
    cw::CwSkimmer skimmer(settings);
    std::map<int, Decoded> open;
    std::map<int, std::vector<int>> codes;
    std::vector<Decoded> done;
    auto collect = [&] {
        for (cw::CwSkimmer::Event event; skimmer.TakeEvent(event);) {
            Decoded& channel = open[event.nChannel];
            channel.nChannel = event.nChannel;
            channel.dPitchHz = event.dPitchHz;
            if (event.dWpm > 0.0)
                channel.dWpm = event.dWpm;
            if (event.kind == cw::CwSkimmer::Event::Kind::Symbol) {
                if (channel.dStartSec < 0.0)
                    channel.dStartSec = double(event.symbol.nSamplePosition) / settings.dSampleRate;
                codes[event.nChannel].push_back(event.symbol.nCode);
            } else if (event.kind == cw::CwSkimmer::Event::Kind::Ended) {
                channel.text = cwbench::normalized(cwbench::codesToText(codes[event.nChannel]));
                done.push_back(channel);
                open.erase(event.nChannel);
                codes.erase(event.nChannel);
            }
        }
    };
    for (size_t i = 0; i < samples.size(); i += nBlock) {
        skimmer.Process(samples.data() + i, std::min(nBlock, samples.size() - i));
        collect();
    }
    skimmer.Finish();
    collect();
    return done;
}

double Score::meanCer() const
{
    double sum = 0.0;
    for (double value : cer)
        sum += value;
    return cer.empty() ? 0.0 : sum / double(cer.size());
}

double Score::worstCer() const
{
    return cer.empty() ? 0.0 : *std::max_element(cer.begin(), cer.end());
}

Score score(const Band& band, const std::vector<Decoded>& decoded, double dReachHz)
{
    std::vector<QString> assigned(band.transmitters.size());
    Score result;
    int referenceLength = 0;
    int phantom = 0;
    for (const Signal& signal : band.transmitters)
        referenceLength += cwbench::normalized(signal.text).size();
    // Channels in the order they began, so that a signal decoded in pieces reads in order.
    std::vector<Decoded> ordered = decoded;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Decoded& a, const Decoded& b) { return a.dStartSec < b.dStartSec; });
    for (const Decoded& channel : ordered) {
        if (channel.text.isEmpty())
            continue;
        int nearest = -1;
        double nearestHz = dReachHz;
        for (size_t i = 0; i < band.transmitters.size(); ++i) {
            const double apart = std::abs(band.transmitters[i].dPitchHz - channel.dPitchHz);
            if (apart <= nearestHz) {
                nearest = int(i);
                nearestHz = apart;
            }
        }
        if (nearest < 0) {
            phantom += channel.text.size();
            continue;
        }
        QString& text = assigned[size_t(nearest)];
        text = text.isEmpty() ? channel.text : text + QLatin1Char(' ') + channel.text;
    }
    for (size_t i = 0; i < band.transmitters.size(); ++i) {
        const QString reference = cwbench::normalized(band.transmitters[i].text);
        if (!assigned[i].isEmpty())
            ++result.nFound;
        result.cer.push_back(double(cwbench::editDistance(assigned[i], reference)) /
                             std::max(1, reference.size()));
    }
    result.texts = assigned;
    result.dPhantomShare = double(phantom) / std::max(1, referenceLength);
    return result;
}

} // namespace cwskim
