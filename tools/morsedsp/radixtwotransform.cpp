#include "tools/morsedsp/radixtwotransform.h"

#include "tools/morsedsp/dspconstants.h"

#include <cmath>
#include <utility>

namespace dsp {

RadixTwoTransform::RadixTwoTransform(size_t nSize, bool bInverse)
    : m_nSize(nSize), m_bInverse(bInverse)
{
    const double sign = bInverse ? 1.0 : -1.0;
    m_twiddles.resize(nSize / 2);
    for (size_t k = 0; k < nSize / 2; ++k)
        m_twiddles[k] =
            std::complex<float>(std::polar(1.0, sign * TWO_PI * double(k) / double(nSize)));
    int bits = 0;
    while ((size_t(1) << bits) < nSize)
        ++bits;
    for (size_t i = 0; i < nSize; ++i) {
        size_t reversed = 0;
        for (int b = 0; b < bits; ++b)
            reversed |= ((i >> b) & 1u) << (bits - 1 - b);
        if (reversed > i)
            m_swaps.emplace_back(std::uint32_t(i), std::uint32_t(reversed));
    }
}

void RadixTwoTransform::Execute(std::complex<float>* pData) const
{
    reorder(pData);
    firstTwoStages(pData);
    // The butterflies are written out on the real and imaginary parts: the complex product
    // of the library checks for infinities at every multiplication.
    for (size_t half = 4; half < m_nSize; half *= 2) {
        const size_t stride = m_nSize / (2 * half);
        for (size_t start = 0; start < m_nSize; start += 2 * half) {
            std::complex<float>* low = pData + start;
            std::complex<float>* high = low + half;
            for (size_t k = 0; k < half; ++k) {
                const std::complex<float> w = m_twiddles[k * stride];
                const float re = high[k].real() * w.real() - high[k].imag() * w.imag();
                const float im = high[k].real() * w.imag() + high[k].imag() * w.real();
                const float lowRe = low[k].real();
                const float lowIm = low[k].imag();
                low[k] = {lowRe + re, lowIm + im};
                high[k] = {lowRe - re, lowIm - im};
            }
        }
    }
}

void RadixTwoTransform::reorder(std::complex<float>* pData) const
{
    for (const auto& swap : m_swaps)
        std::swap(pData[swap.first], pData[swap.second]);
}

void RadixTwoTransform::firstTwoStages(std::complex<float>* pData) const
{
    // Pairs, then fours, whose twiddles are 1 and -j (j inverse): no multiplications.
    if (m_nSize < 4) {
        const std::complex<float> a = pData[0];
        pData[0] = a + pData[1];
        pData[1] = a - pData[1];
        return;
    }
    const float turn = m_bInverse ? 1.0f : -1.0f;
    for (size_t i = 0; i < m_nSize; i += 4) {
        const std::complex<float> a = pData[i] + pData[i + 1];
        const std::complex<float> b = pData[i] - pData[i + 1];
        const std::complex<float> c = pData[i + 2] + pData[i + 3];
        const std::complex<float> d = pData[i + 2] - pData[i + 3];
        // d turned by a quarter: (re, im) * -+j.
        const std::complex<float> dTurned(-turn * d.imag(), turn * d.real());
        pData[i] = a + c;
        pData[i + 2] = a - c;
        pData[i + 1] = b + dTurned;
        pData[i + 3] = b - dTurned;
    }
}

} // namespace dsp
