#include "tools/morsedsp/radixtwotransform.h"

#include "tools/morsedsp/dspconstants.h"

#include <cmath>
#include <utility>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace dsp {

RadixTwoTransform::RadixTwoTransform(size_t nSize, bool bInverse)
    : m_nSize(nSize), m_bInverse(bInverse)
{
    const double sign = bInverse ? 1.0 : -1.0;
    for (size_t half = 4; half < nSize; half *= 2) {
        const size_t stride = nSize / (2 * half);
        for (size_t k = 0; k < half; ++k)
            m_twiddles.emplace_back(
                std::polar(1.0, sign * TWO_PI * double(k * stride) / double(nSize)));
    }
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
    for (size_t half = 4; half < m_nSize; half *= 2)
        stage(pData, half);
}

void RadixTwoTransform::stage(std::complex<float>* pData, size_t nHalf) const
{
    // The butterflies are written out on the real and imaginary parts (the complex product
    // of the library checks for infinities at every multiplication), two at a time with SSE:
    // the same products and sums in the same order, so both ways give the same bits.
    const float* twiddles = reinterpret_cast<const float*>(&m_twiddles[nHalf - 4]);
    for (size_t start = 0; start < m_nSize; start += 2 * nHalf) {
        float* low = reinterpret_cast<float*>(pData + start);
        float* high = low + 2 * nHalf;
#if defined(__SSE__)
        const __m128 signs = _mm_setr_ps(-1.0f, 1.0f, -1.0f, 1.0f);
        for (size_t i = 0; i < 2 * nHalf; i += 4) {
            const __m128 w = _mm_loadu_ps(twiddles + i);
            const __m128 h = _mm_loadu_ps(high + i);
            const __m128 wRe = _mm_shuffle_ps(w, w, _MM_SHUFFLE(2, 2, 0, 0));
            const __m128 wIm = _mm_shuffle_ps(w, w, _MM_SHUFFLE(3, 3, 1, 1));
            const __m128 hSwapped = _mm_shuffle_ps(h, h, _MM_SHUFFLE(2, 3, 0, 1));
            // (re wRe - im wIm, im wRe + re wIm) for each of the two.
            const __m128 product =
                _mm_add_ps(_mm_mul_ps(h, wRe), _mm_mul_ps(_mm_mul_ps(hSwapped, wIm), signs));
            const __m128 l = _mm_loadu_ps(low + i);
            _mm_storeu_ps(low + i, _mm_add_ps(l, product));
            _mm_storeu_ps(high + i, _mm_sub_ps(l, product));
        }
#else
        for (size_t i = 0; i < 2 * nHalf; i += 2) {
            const float wRe = twiddles[i];
            const float wIm = twiddles[i + 1];
            const float re = high[i] * wRe - high[i + 1] * wIm;
            const float im = high[i + 1] * wRe + high[i] * wIm;
            const float lowRe = low[i];
            const float lowIm = low[i + 1];
            low[i] = lowRe + re;
            low[i + 1] = lowIm + im;
            high[i] = lowRe - re;
            high[i + 1] = lowIm - im;
        }
#endif
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
