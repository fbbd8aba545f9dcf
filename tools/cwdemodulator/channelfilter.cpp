#include "tools/cwdemodulator/channelfilter.h"

#include "tools/morsedsp/designcache.h"
#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/kaiserlowpass.h"

#include "tools/cwdemodulator/realtapfilter.h"

#include <complex>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

namespace cw {

namespace {

constexpr double TRANSITION_HZ = 40.0; ///< from the pass band to where neighbours are stopped
constexpr double MIN_PASS_HZ = 15.0;
constexpr double PASS_CYCLES_PER_UNIT = 1.5; ///< pass band times the element length

constexpr size_t KEPT_DESIGNS = 64; ///< pass bands follow the speed: keep the cache small

/// The taps for a rate and a pass band: a Kaiser design costs more than filtering seconds of
/// signal, and each acquisition attempt makes a filter of the widest band, so designs are
/// made once and shared.
std::shared_ptr<const std::vector<float>> designTaps(double dSampleRate, double dPassHz)
{
    static dsp::DesignCache<std::pair<double, double>> designs(KEPT_DESIGNS);
    return designs.Get({dSampleRate, dPassHz}, [dSampleRate, dPassHz] {
        const size_t length = dsp::kaiserLength(TRANSITION_HZ / dSampleRate);
        const float cutoff = float((dPassHz + 0.5 * TRANSITION_HZ) / dSampleRate);
        std::vector<float> taps = dsp::kaiserLowPass(length, cutoff);
        // Unit gain at the tone, so that levels mean the same before and after.
        const float sum = std::accumulate(taps.begin(), taps.end(), 0.0f);
        for (float& tap : taps)
            tap /= sum;
        return taps;
    });
}

} // namespace

double ChannelFilter::PassFor(double dUnitSec)
{
    return std::clamp(PASS_CYCLES_PER_UNIT / std::max(1e-3, dUnitSec), MIN_PASS_HZ, MAX_PASS_HZ);
}

ChannelFilter::ChannelFilter(double dSampleRate, double dPassHz)
{
    const std::shared_ptr<const std::vector<float>> taps = designTaps(dSampleRate, dPassHz);
    m_nDelay = int(taps->size()) / 2;
    m_pFilter = std::make_unique<RealTapFilter>(*taps);
}

ChannelFilter::~ChannelFilter() = default;

std::complex<float> ChannelFilter::Push(std::complex<float> sample)
{
    m_pFilter->Push(sample);
    return m_pFilter->Output();
}

} // namespace cw
