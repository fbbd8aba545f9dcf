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

    size_t m_nSize;
    bool m_bInverse;
    std::vector<std::complex<float>> m_twiddles;                  ///< e^(-+2 pi j k / N), k < N/2
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_swaps; ///< bit-reversed pairs
};

} // namespace dsp
