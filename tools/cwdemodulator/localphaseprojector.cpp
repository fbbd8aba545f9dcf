#include "tools/cwdemodulator/localphaseprojector.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

/// The running sum is recomputed this often, so rounding cannot build up.
constexpr unsigned RECOMPUTE_EVERY = 4096;

} // namespace

LocalPhaseProjector::LocalPhaseProjector(int nHalfWidth)
    : m_nHalfWidth(std::max(0, nHalfWidth)), m_window(size_t(2 * m_nHalfWidth + 1))
{
}

void LocalPhaseProjector::Push(std::complex<float> sample)
{
    const size_t size = m_window.size();
    const std::complex<float> oldest = m_window[m_nWrite];
    m_window[m_nWrite] = sample;
    if (++m_nWrite == size)
        m_nWrite = 0;
    m_sum += std::complex<double>(sample.real() - oldest.real(), sample.imag() - oldest.imag());
    if (++m_nSinceRecompute >= RECOMPUTE_EVERY) {
        m_sum = 0.0;
        for (const std::complex<float>& kept : m_window)
            m_sum += std::complex<double>(kept.real(), kept.imag());
        m_nSinceRecompute = 0;
    }
    // The newest sample sits just before the write index; the centre half a window back.
    size_t centre = m_nWrite + size - 1 - size_t(m_nHalfWidth);
    if (centre >= size)
        centre -= size;
    m_centre = m_window[centre];
}

std::complex<float> LocalPhaseProjector::Projected() const
{
    const double magnitude = std::sqrt(std::norm(m_sum));
    if (magnitude <= 0.0)
        return {};
    const double cosine = m_sum.real() / magnitude;
    const double sine = m_sum.imag() / magnitude;
    return {float(m_centre.real() * cosine + m_centre.imag() * sine),
            float(m_centre.imag() * cosine - m_centre.real() * sine)};
}

} // namespace cw
