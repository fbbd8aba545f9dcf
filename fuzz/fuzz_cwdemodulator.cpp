// Feeds arbitrary audio to the CW demodulator. The first bytes choose the sample layout (signed
// 8-bit, or 32-bit float that carries NaN, infinities and huge values as they come), the sample
// rate (anywhere from 4 kHz to 768 kHz), a forced pitch and the block size. Short inputs are
// repeated to a fraction of a second, so that the pitch search and the speed acquisition run on
// them, yet each run stays short. No input may crash or hang, codes must be Morse symbol codes
// and their times must not run backwards.

#include "tools/cwdemodulator/cwdemodulator.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr double COMMON_RATES[] = {4000.0, 8000.0, 11025.0, 22050.0, 44100.0, 48000.0, 768000.0};
constexpr double MIN_RATE = 4000.0;
constexpr double MAX_RATE = 768000.0;
constexpr double SECONDS = 0.25;
constexpr size_t MAX_SAMPLES = 1 << 13;
constexpr size_t HEADER = 5;

bool isSymbolCode(int code)
{
    return code == 0 || code == 1 || (code >= 3 && code <= 5) || (code >= 64 && code <= 66);
}

/// The rate bytes @p high and @p low choose: one of the common rates, or any rate in range.
double sampleRate(uint8_t high, uint8_t low)
{
    const unsigned selector = unsigned(high) << 8 | low;
    constexpr unsigned COMMON = sizeof(COMMON_RATES) / sizeof(*COMMON_RATES);
    if (selector < 0x8000)
        return COMMON_RATES[selector % COMMON];
    return MIN_RATE + (MAX_RATE - MIN_RATE) * double(selector - 0x8000) / double(0x7FFF);
}

/// The samples of the input after the header, repeated to the run's length.
std::vector<float> samplesOf(const uint8_t* audio, size_t length, bool floats, double rate)
{
    std::vector<float> input;
    if (floats) {
        for (size_t i = 0; i + 4 <= length; i += 4) {
            float value;
            std::memcpy(&value, audio + i, sizeof value);
            input.push_back(value);
        }
    } else {
        for (size_t i = 0; i < length; ++i)
            input.push_back(float(int8_t(audio[i])) / 128.0f);
    }
    if (input.empty())
        return input;
    const size_t total = std::max(input.size(), std::min(MAX_SAMPLES, size_t(SECONDS * rate)));
    std::vector<float> samples(total);
    for (size_t i = 0; i < total; ++i)
        samples[i] = input[i % input.size()];
    return samples;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size <= HEADER || size > 4096)
        return 0;
    cw::CwDemodulator::Settings settings;
    const bool floats = data[0] & 1;
    settings.dSampleRate = sampleRate(data[1], data[2]);
    if (data[0] & 2)
        settings.dPitchHz = 200.0 + 5.0 * data[3];
    // Blocks of 16 samples at least: the pitch search shifts its whole window once per block,
    // which at the highest rates makes tiny blocks slow without reaching other code.
    const size_t block = 16 + size_t(data[4]) * 16;
    const std::vector<float> samples =
        samplesOf(data + HEADER, size - HEADER, floats, settings.dSampleRate);

    cw::CwDemodulator demodulator(settings);
    cw::CwSymbol symbol;
    int64_t last = 0;
    auto drain = [&] {
        while (demodulator.TakeSymbol(symbol)) {
            if (!isSymbolCode(symbol.nCode) || symbol.nSamplePosition < last)
                std::abort();
            last = symbol.nSamplePosition;
        }
    };
    for (size_t i = 0; i < samples.size(); i += block) {
        demodulator.Process(samples.data() + i, std::min(block, samples.size() - i));
        drain();
    }
    demodulator.Finish();
    drain();
    return 0;
}
