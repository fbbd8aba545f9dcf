#include "tools/cwdemodulator/realtapfilter.h"

#include <algorithm>

#if defined(__SSE__)
#include <xmmintrin.h>
// The taps are read with aligned loads: each block of sixteen starts 64 bytes on from the
// start of a vector's storage, which operator new aligns to at least 16 bytes.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= 16, "taps must be 16-byte aligned");
#endif

namespace cw {

namespace {

/// Samples pushed between two moves of the window back to the start of its buffer.
constexpr size_t SLACK = 1024;

#if defined(__SSE__)
/// Two floats into the low lanes, zeros above.
inline __m128 loadPair(const float* p)
{
    return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p));
}
#endif

} // namespace

RealTapFilter::RealTapFilter(const std::vector<float>& taps)
    : m_nLength(std::max<size_t>(1, taps.size())), m_taps(2 * m_nLength, 0.0f)
{
    for (size_t i = 0; i < taps.size(); ++i) {
        m_taps[2 * (m_nLength - 1 - i)] = taps[i];
        m_taps[2 * (m_nLength - 1 - i) + 1] = taps[i];
    }
}

void RealTapFilter::rewind()
{
    if (m_window.empty()) {
        m_window.resize(m_nLength + SLACK);
        m_nEnd = m_nLength;
        return;
    }
    std::copy(m_window.end() - std::ptrdiff_t(m_nLength), m_window.end(), m_window.begin());
    m_nEnd = m_nLength;
}

void RealTapFilter::ApplyTo(const std::complex<float>* pOldest, std::complex<float>* pOut,
                            float fScale) const
{
    // Interleaved real and imaginary parts times taps given twice: one real dot product, in
    // four partial sums of two complex samples each, summed at the end.
    const float* x = reinterpret_cast<const float*>(pOldest);
    const float* h = m_taps.data();
    const size_t n = 2 * m_nLength;
    const size_t whole = n - n % 16;
#if defined(__SSE__)
    __m128 sums[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (size_t k = 0; k < whole; k += 16)
        for (size_t j = 0; j < 4; ++j)
            sums[j] = _mm_add_ps(
                sums[j], _mm_mul_ps(_mm_load_ps(h + k + 4 * j), _mm_loadu_ps(x + k + 4 * j)));
    const __m128 lanes = _mm_add_ps(_mm_add_ps(sums[0], sums[1]), _mm_add_ps(sums[2], sums[3]));
    // Lanes 0 and 1 hold the real and imaginary sums from here on: each remaining sample's
    // two products are added to them in turn, as a scalar loop would (lanes 2 and 3 are
    // dropped).
    __m128 pair = _mm_add_ps(lanes, _mm_movehl_ps(lanes, lanes));
    for (size_t k = whole; k < n; k += 2)
        pair = _mm_add_ps(pair, _mm_mul_ps(loadPair(h + k), loadPair(x + k)));
    _mm_storel_pi(reinterpret_cast<__m64*>(pOut), _mm_mul_ps(pair, _mm_set1_ps(fScale)));
#else
    float re = 0.0f;
    float im = 0.0f;
    float sums[16] = {};
    for (size_t k = 0; k < whole; k += 16)
        for (size_t j = 0; j < 16; ++j)
            sums[j] += h[k + j] * x[k + j];
    for (size_t j = 0; j < 16; j += 2) {
        re += sums[j];
        im += sums[j + 1];
    }
    for (size_t k = whole; k < n; k += 2) {
        re += h[k] * x[k];
        im += h[k + 1] * x[k + 1];
    }
    *pOut = {re * fScale, im * fScale};
#endif
}

} // namespace cw
