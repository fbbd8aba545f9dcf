#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace cw {

class RealTapFilter;

/// Keeps the band around the tone in the baseband and rejects neighbouring signals: a
/// linear-phase low-pass FIR filter (Kaiser window) that passes the keying
/// sidebands of the speed sent and stops what lies 40 Hz further out. The output runs
/// Delay() samples behind the input. Life: create, Push() per sample.
class ChannelFilter
{
public:
    /// @p dPassHz: the band kept on each side of the tone (at most 50 Hz, enough for 60 WPM).
    explicit ChannelFilter(double dSampleRate, double dPassHz = MAX_PASS_HZ);

    static constexpr double MAX_PASS_HZ = 50.0;
    /// The band an element of @p dUnitSec seconds needs: its sidebands that matter.
    static double PassFor(double dUnitSec);
    ~ChannelFilter();
    ChannelFilter(const ChannelFilter&) = delete;
    ChannelFilter& operator=(const ChannelFilter&) = delete;

    /// Filters the next sample.
    std::complex<float> Push(const std::complex<float>& sample);
    /// Push(), the output written to @p out (in one store: see RealTapFilter::ApplyTo()).
    void Push(const std::complex<float>& sample, std::complex<float>& out);
    int Delay() const { return m_nDelay; }
    /// Samples each output weighs.
    size_t Length() const;
    /// Outputs @p nFirst to @p nEnd of a fresh filter run over @p nCount samples and then
    /// Delay() zeros, aligned with the samples: pOut[k] is what Push() returns Delay()
    /// samples after sample k, to the bit. This filter's own samples are left alone.
    void FilterAligned(const std::complex<float>* pSamples, size_t nCount, size_t nFirst,
                       size_t nEnd, std::complex<float>* pOut) const;

private:
    std::unique_ptr<RealTapFilter> m_pFilter;
    int m_nDelay = 0;
    mutable std::vector<std::complex<float>> m_edge; ///< samples with the zeros beyond them
};

} // namespace cw
