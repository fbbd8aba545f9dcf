#include "tools/cwdemodulator/envelopedetector.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {
/// The running sum is rebuilt this often so rounding cannot pile up.
constexpr unsigned RECOMPUTE_INTERVAL = 1u << 16;
} // namespace

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

void EnvelopeDetector::recompute()
{
    m_sum = 0.0;
    for (int i = 1; i <= m_nLength; ++i) {
        const std::complex<float>& s = m_history[(m_nWrite - size_t(i)) & m_nMask];
        m_sum += std::complex<double>(s.real(), s.imag());
    }
    m_nSinceRecompute = 0;
}

std::complex<float> EnvelopeDetector::PushAverage(std::complex<float> sample)
{
    const std::complex<float>& leaving = m_history[(m_nWrite - size_t(m_nLength)) & m_nMask];
    m_sum += std::complex<double>(sample.real(), sample.imag());
    m_sum -= std::complex<double>(leaving.real(), leaving.imag());
    m_history[m_nWrite] = sample;
    m_nWrite = (m_nWrite + 1) & m_nMask;
    if (++m_nSinceRecompute >= RECOMPUTE_INTERVAL)
        recompute();
    return std::complex<float>(float(m_sum.real() * m_dScale), float(m_sum.imag() * m_dScale));
}

} // namespace cw
