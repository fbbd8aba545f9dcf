// Feeds arbitrary audio to the CW demodulator: the input, read as signed 8-bit samples, is
// repeated to a few seconds so that the pitch search, the speed acquisition and the tracking
// all run on it. The first bytes choose the sample rate, a forced pitch and the block size.
// No input may crash or hang, codes must be Morse symbol codes and their times must not run
// backwards.

#include "tools/cwdemodulator/cwdemodulator.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr double RATES[] = {4000.0, 8000.0, 11025.0, 22050.0};
constexpr double SECONDS = 4.0;
constexpr size_t HEADER = 3;

bool isSymbolCode(int code)
{
    return code == 0 || code == 1 || (code >= 3 && code <= 5) || (code >= 64 && code <= 66);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size <= HEADER)
        return 0;
    cw::CwDemodulator::Settings settings;
    settings.dSampleRate = RATES[data[0] % (sizeof(RATES) / sizeof(*RATES))];
    if (data[1] & 1)
        settings.dPitchHz = 200.0 + 5.0 * (data[1] >> 1);
    const size_t block = 1 + size_t(data[2]) * 16;
    const uint8_t* audio = data + HEADER;
    const size_t length = size - HEADER;

    std::vector<float> samples(size_t(SECONDS * settings.dSampleRate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(int8_t(audio[i % length])) / 128.0f;

    cw::CwDemodulator demodulator(settings);
    cw::CwSymbol symbol;
    qint64 last = 0;
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
