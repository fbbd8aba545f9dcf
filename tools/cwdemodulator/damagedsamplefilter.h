#pragma once

#include <cstddef>
#include <vector>

namespace cw {

/// Takes damaged input as silence: not-a-number, infinities and values far beyond full scale
/// (which no recording chain makes) would otherwise poison the filters, levels and searches of
/// every block downstream. Clean blocks pass through without a copy.
class DamagedSampleFilter
{
public:
    /// Samples beyond this (full scale is 1) are damage, not sound.
    static constexpr float ABSURD_SAMPLE = 8.0f;

    /// The block with every damaged sample set to 0; valid until the next call.
    const float* Push(const float* pSamples, size_t nCount);

    static bool IsDamaged(float sample);

private:
    std::vector<float> m_clean; ///< the last block, repaired
};

} // namespace cw
