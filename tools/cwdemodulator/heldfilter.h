#pragma once

#include "tools/cwdemodulator/channelfilter.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cw {

/// The held samples of an acquisition through the channel filter, aligned with them (the
/// filter's delay taken out), as a fresh filter run over them gives them. Between attempts
/// the held samples only gain newer ones and lose the oldest, so the outputs whose samples
/// around them are the same as at the last call are kept, and only those near either end
/// are filtered again. Life: Filter() at each attempt, Forget() whenever the samples held
/// start afresh.
class HeldFilter
{
public:
    /// The channel filter of the widest band, at @p dSampleRate.
    explicit HeldFilter(double dSampleRate);

    /// @p pHeld: @p nCount samples from baseband index @p nStart on. The samples at an index
    /// are those of the last call, if it had that index and Forget() came not between.
    void Filter(const std::complex<float>* pHeld, size_t nCount, std::int64_t nStart);
    /// Nothing filtered before is kept.
    void Forget() { m_nCount = 0; }

    const std::vector<std::complex<float>>& Filtered() const { return m_filtered; }
    int Delay() const { return m_filter.Delay(); }

private:
    ChannelFilter m_filter;
    std::vector<std::complex<float>> m_filtered;
    std::int64_t m_nStart = 0; ///< baseband index of the samples m_filtered was made of
    size_t m_nCount = 0;       ///< how many there were; 0: none kept
};

} // namespace cw
