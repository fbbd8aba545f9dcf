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

std::complex<float> ChannelFilter::Push(const std::complex<float>& sample)
{
    std::complex<float> out;
    m_pFilter->Next(sample, &out);
    return out;
}

void ChannelFilter::Push(const std::complex<float>& sample, std::complex<float>& out)
{
    m_pFilter->Next(sample, &out);
}

size_t ChannelFilter::Length() const
{
    return m_pFilter->Length();
}

void ChannelFilter::FilterAligned(const std::complex<float>* pSamples, size_t nCount, size_t nFirst,
                                  size_t nEnd, std::complex<float>* pOut) const
{
    // Output k weighs samples k + delay - (length - 1) to k + delay: those before the first
    // and after the last are the zeros a fresh run starts with and ends on. Where the outputs
    // reach beyond the samples, the reach is copied with its zeros.
    if (nFirst >= nEnd)
        return;
    const std::ptrdiff_t length = std::ptrdiff_t(Length());
    const std::ptrdiff_t from = std::ptrdiff_t(nFirst) + m_nDelay - (length - 1);
    const std::ptrdiff_t to = std::ptrdiff_t(nEnd) + m_nDelay; // one past the last sample read
    const std::complex<float>* oldest = nullptr;
    if (from >= 0 && to <= std::ptrdiff_t(nCount)) {
        oldest = pSamples + from;
    } else {
        m_edge.assign(size_t(to - from), std::complex<float>());
        const std::ptrdiff_t first = std::max<std::ptrdiff_t>(from, 0);
        const std::ptrdiff_t last = std::min<std::ptrdiff_t>(to, std::ptrdiff_t(nCount));
        if (first < last)
            std::copy(pSamples + first, pSamples + last, m_edge.begin() + (first - from));
        oldest = m_edge.data();
    }
    for (size_t k = nFirst; k < nEnd; ++k)
        m_pFilter->ApplyTo(oldest + (k - nFirst), pOut + k);
}

} // namespace cw
