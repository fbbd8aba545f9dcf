#include "tools/cwdemodulator/channelfilter.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace cw {

namespace {

constexpr double TRANSITION_HZ = 40.0; ///< from the pass band to where neighbours are stopped
constexpr double MIN_PASS_HZ = 15.0;
constexpr double PASS_CYCLES_PER_UNIT = 1.5; ///< pass band times the element length
constexpr float STOPBAND_DB = 60.0f;

firfilt_crcf filter(void* p)
{
    return static_cast<firfilt_crcf>(p);
}

} // namespace

double ChannelFilter::PassFor(double dUnitSec)
{
    return std::clamp(PASS_CYCLES_PER_UNIT / std::max(1e-3, dUnitSec), MIN_PASS_HZ, MAX_PASS_HZ);
}

ChannelFilter::ChannelFilter(double dSampleRate, double dPassHz)
{
    // Kaiser's estimate of the length for the transition band, made odd for a whole delay.
    const double transition = TRANSITION_HZ / dSampleRate;
    int length = int(std::ceil((STOPBAND_DB - 8.0) / (2.285 * 2.0 * M_PI * transition))) + 1;
    length |= 1;
    m_nDelay = length / 2;
    std::vector<float> taps(size_t(length), 0.0f);
    liquid_firdes_kaiser(unsigned(length), float((dPassHz + 0.5 * TRANSITION_HZ) / dSampleRate),
                         STOPBAND_DB, 0.0f, taps.data());
    // Unit gain at the tone, so that levels mean the same before and after.
    const float sum = std::accumulate(taps.begin(), taps.end(), 0.0f);
    for (float& tap : taps)
        tap /= sum;
    m_pFilter = firfilt_crcf_create(taps.data(), unsigned(length));
}

ChannelFilter::~ChannelFilter()
{
    firfilt_crcf_destroy(filter(m_pFilter));
}

std::complex<float> ChannelFilter::Push(std::complex<float> sample)
{
    std::complex<float> out;
    firfilt_crcf_push(filter(m_pFilter), sample);
    firfilt_crcf_execute(filter(m_pFilter), &out);
    return out;
}

} // namespace cw
