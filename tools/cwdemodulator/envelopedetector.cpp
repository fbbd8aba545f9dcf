#include "tools/cwdemodulator/envelopedetector.h"

#include <algorithm>
#include <cmath>

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
