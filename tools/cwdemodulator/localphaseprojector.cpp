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
    m_window.Fill(std::complex<float>());
}

void LocalPhaseProjector::Push(const std::complex<float>& sample)
{
    // The change is taken before the push, which may overwrite the oldest, straight from the
    // ring: a copy of the oldest would be stored in parts and loaded as a pair.
    const std::complex<float>& oldest = m_window.Oldest();
    const std::complex<double> change(sample.real() - oldest.real(), sample.imag() - oldest.imag());
    m_window.Push(sample);
    m_sum += change;
    if (++m_nSinceRecompute >= RECOMPUTE_EVERY) {
        m_sum = 0.0;
        for (size_t i = 0; i < m_window.size(); ++i)
            m_sum += std::complex<double>(m_window[i].real(), m_window[i].imag());
        m_nSinceRecompute = 0;
    }
    m_centre = m_window.FromNewest(size_t(m_nHalfWidth));
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

float LocalPhaseProjector::ProjectedQuadrature() const
{
    const double magnitude = std::sqrt(std::norm(m_sum));
    if (magnitude <= 0.0)
        return 0.0f;
    const double cosine = m_sum.real() / magnitude;
    const double sine = m_sum.imag() / magnitude;
    return float(m_centre.imag() * cosine - m_centre.real() * sine);
}

} // namespace cw
