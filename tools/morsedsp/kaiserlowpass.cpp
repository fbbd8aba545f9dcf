#include "tools/morsedsp/kaiserlowpass.h"

#include "tools/morsedsp/designcache.h"
#include "tools/morsedsp/dspconstants.h"

#include <cmath>
#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

namespace dsp {

namespace {

constexpr float STOPBAND_DB = 60.0f;

/// Kaiser's shape parameter for a stop band @p fStopbandDb down (above 50 dB).
constexpr float betaFor(float fStopbandDb)
{
    return 0.1102f * (fStopbandDb - 8.7f);
}

} // namespace

std::shared_ptr<const std::vector<float>> kaiserWindow(size_t nLength)
{
    static DesignCache<size_t> windows;
    return windows.Get(nLength, [nLength] {
        const float beta = betaFor(STOPBAND_DB);
        // The window is symmetric to the bit (its tap i and nLength - 1 - i take the same
        // arguments), so half of it is made.
        std::vector<float> window(nLength);
        for (size_t i = 0; i < (nLength + 1) / 2; ++i)
            window[i] = window[nLength - 1 - i] =
                liquid_kaiser(unsigned(i), unsigned(nLength), beta);
        return window;
    });
}

size_t kaiserLength(double dTransition)
{
    const int length = int(std::ceil((STOPBAND_DB - 8.0) / (2.285 * TWO_PI * dTransition))) + 1;
    return size_t(length | 1);
}

std::vector<float> kaiserLowPass(size_t nLength, float fCutoff)
{
    const std::shared_ptr<const std::vector<float>> window = kaiserWindow(nLength);
    std::vector<float> taps(nLength);
    for (size_t i = 0; i < nLength; ++i) {
        const float t = float(i) - float(nLength - 1) / 2.0f;
        taps[i] = sincf(2.0f * fCutoff * t) * (*window)[i];
    }
    return taps;
}

} // namespace dsp
