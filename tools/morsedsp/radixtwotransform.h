#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dsp {

/// A complex discrete Fourier transform of one power-of-two size (forward, or inverse without
/// the 1/N scale), radix 2 in place on the caller's buffer. For the transforms made at every
/// frame of a filter bank and of each of its channels, where the general transform's cost
/// per call (several times this one's at these sizes) was a large share of the whole.
/// Execute() changes nothing in the transform itself: one may serve several threads.
class RadixTwoTransform
{
public:
    /// @p nSize must be a power of two (at least 2).
    explicit RadixTwoTransform(size_t nSize, bool bInverse = false);

    size_t Size() const { return m_nSize; }
    /// Transforms the Size() values at @p pData in place.
    void Execute(std::complex<float>* pData) const;

private:
    void reorder(std::complex<float>* pData) const;
    void firstTwoStages(std::complex<float>* pData) const;
    /// Joins the transforms of length @p nHalf side by side into ones twice as long.
    void stage(std::complex<float>* pData, size_t nHalf) const;

    size_t m_nSize;
    bool m_bInverse;
    /// Each stage's twiddles in the order its butterflies take them: e^(-+2 pi j k / 2h),
    /// k < h, for the half lengths h = 4, 8, ... N/2, the stage of h starting at h - 4.
    std::vector<std::complex<float>> m_twiddles;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_swaps; ///< bit-reversed pairs
};

} // namespace dsp
