#include "tools/cwdemodulator/envelopedetector.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cw {

EnvelopeDetector::EnvelopeDetector(int nMaxLength)
{
    size_t size = 2;
    while (size < size_t(std::max(1, nMaxLength)) + 1)
        size *= 2;
    m_history.assign(size, std::complex<float>());
    m_nMask = size - 1;
}

void EnvelopeDetector::SetLength(int nLength)
{
    nLength = std::clamp(nLength, 1, int(m_nMask));
    if (nLength == m_nLength)
        return;
    m_nLength = nLength;
    m_dScale = 1.0 / double(m_nLength);
    recompute();
}

void EnvelopeDetector::Reset()
{
    std::fill(m_history.begin(), m_history.end(), std::complex<float>());
    m_sum = 0.0;
    m_nWrite = 0;
}

void EnvelopeDetector::AverageOf(const std::complex<float>* pSamples, size_t nCount, int nLength,
                                 bool bInPhase, float* pOut)
{
    const size_t length = size_t(std::max(1, nLength));
    const double scale = 1.0 / double(length);
    // The same sums in the same order as PushAverage(): the sample leaving, zero while the
    // average fills, changes nothing when subtracted, and the sum is rebuilt at the same
    // pushes, newest sample first.
#if defined(__SSE2__)
    // The real and the imaginary sum side by side in one register: each lane takes the very
    // steps the plain loop below takes, the average and its magnitude the float ones.
    const float* samples = reinterpret_cast<const float*>(pSamples);
    auto load = [samples](size_t i) {
        return _mm_cvtps_pd(
            _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(samples + 2 * i))));
    };
    const __m128d scales = _mm_set1_pd(scale);
    __m128d sums = _mm_setzero_pd();
    for (size_t i = 0; i < nCount; ++i) {
        sums = _mm_add_pd(sums, load(i));
        if (i >= length)
            sums = _mm_sub_pd(sums, load(i - length));
        if ((i + 1) % RECOMPUTE_INTERVAL == 0) {
            sums = _mm_setzero_pd();
            for (size_t k = 0; k < length && k <= i; ++k)
                sums = _mm_add_pd(sums, load(i - k));
        }
        const __m128 average = _mm_cvtpd_ps(_mm_mul_pd(sums, scales));
        if (bInPhase) {
            pOut[i] = _mm_cvtss_f32(average);
        } else {
            const __m128 squares = _mm_mul_ps(average, average);
            const __m128 norm = _mm_add_ss(squares, _mm_shuffle_ps(squares, squares, 1));
            pOut[i] = _mm_cvtss_f32(_mm_sqrt_ss(norm));
        }
    }
#else
    auto widen = [](std::complex<float> s) { return std::complex<double>(s.real(), s.imag()); };
    std::complex<double> sum;
    for (size_t i = 0; i < nCount; ++i) {
        sum += widen(pSamples[i]);
        if (i >= length)
            sum -= widen(pSamples[i - length]);
        if ((i + 1) % RECOMPUTE_INTERVAL == 0) {
            sum = 0.0;
            for (size_t k = 0; k < length && k <= i; ++k)
                sum += widen(pSamples[i - k]);
        }
        const std::complex<float> average(float(sum.real() * scale), float(sum.imag() * scale));
        pOut[i] = bInPhase ? average.real() : std::sqrt(std::norm(average));
    }
#endif
}

void EnvelopeDetector::recompute()
{
    m_sum = 0.0;
    for (int i = 1; i <= m_nLength; ++i) {
        const std::complex<float>& s = m_history[(m_nWrite - size_t(i)) & m_nMask];
        m_sum += std::complex<double>(s.real(), s.imag());
    }
    m_nSinceRecompute = 0;
}

} // namespace cw
