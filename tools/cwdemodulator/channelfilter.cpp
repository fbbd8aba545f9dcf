#include "tools/cwdemodulator/channelfilter.h"

#include <complex>
// liquid-dsp uses std::complex<float> for its complex type when included from C++.
#include <liquid/liquid.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace cw {

namespace {

constexpr double PASS_HZ = 50.0; ///< the keying sidebands that matter, up to 60 WPM
constexpr double STOP_HZ = 90.0; ///< neighbours from here on are stopped
constexpr float STOPBAND_DB = 60.0f;

firfilt_crcf filter(void* p)
{
    return static_cast<firfilt_crcf>(p);
}

} // namespace

ChannelFilter::ChannelFilter(double dSampleRate)
{
    // Kaiser's estimate of the length for the transition band, made odd for a whole delay.
    const double transition = (STOP_HZ - PASS_HZ) / dSampleRate;
    int length = int(std::ceil((STOPBAND_DB - 8.0) / (2.285 * 2.0 * M_PI * transition))) + 1;
    length |= 1;
    m_nDelay = length / 2;
    std::vector<float> taps(size_t(length), 0.0f);
    liquid_firdes_kaiser(unsigned(length), float(0.5 * (PASS_HZ + STOP_HZ) / dSampleRate),
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
