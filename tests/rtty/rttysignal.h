#pragma once

#include "tools/fskdemodulator/fskdemodulator.h"
#include "tools/fskdemodulator/fsksynthesizer.h"

#include "rttybenchtext.h"

#include <algorithm>
#include <string>
#include <vector>

/// Helpers of the RTTY tests: render a synthesized signal, run the demodulator over samples in
/// blocks of a given size and collect its text.
namespace rttytest {

inline std::vector<float> render(const fsk::FskSynthesizer::Settings& settings,
                                 const std::string& text)
{
    fsk::FskSynthesizer synthesizer(settings);
    std::vector<float> samples;
    if (!synthesizer.SetText(text))
        return samples;
    samples.resize(size_t(synthesizer.TotalSamples()));
    synthesizer.Render(samples.data(), int64_t(samples.size()));
    return samples;
}

struct Decoded
{
    std::string text;
    std::vector<fsk::FskDemodulator::Character> characters;
    double markHz = 0.0;
    double spaceHz = 0.0;
    double baud = 0.0;
    double snrDb = 0.0;
    bool found = false;
};

inline Decoded decode(const std::vector<float>& samples,
                      const fsk::FskDemodulator::Settings& settings, size_t block = 4096)
{
    fsk::FskDemodulator demodulator(settings);
    Decoded decoded;
    fsk::FskDemodulator::Character character;
    for (size_t start = 0; start < samples.size(); start += block) {
        demodulator.Push(samples.data() + start, std::min(block, samples.size() - start));
        while (demodulator.TakeCharacter(character))
            decoded.characters.push_back(character);
    }
    demodulator.Finish();
    while (demodulator.TakeCharacter(character))
        decoded.characters.push_back(character);
    for (const auto& c : decoded.characters) {
        if (c.cText != '\0')
            decoded.text += c.cText;
    }
    decoded.markHz = demodulator.MarkHz();
    decoded.spaceHz = demodulator.SpaceHz();
    decoded.baud = demodulator.Baud();
    decoded.snrDb = demodulator.SnrDb();
    decoded.found = demodulator.HasSignal();
    return decoded;
}

using rttybench::editDistance;

} // namespace rttytest
