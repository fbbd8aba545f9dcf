#include "tools/cwdemodulator/restartgridphase.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double MEMORY_MARKS = 12.0; ///< decided marks the grid phase is averaged over
constexpr int MARKS_NEEDED = 6;       ///< before the phase is predicted at all
/// The prior is as concentrated as the decided marks agree with the grid phase (their noise
/// included, so that a weak tone leans on it less), up to this.
constexpr double MOST_CONCENTRATION = 20.0;

/// The von Mises concentration whose mean cosine is @p dAgreement (an approximation good to
/// a few percent).
double concentrationFor(double dAgreement)
{
    const double r = std::clamp(dAgreement, 0.0, 0.99);
    return r * (2.0 - r * r) / (1.0 - r * r);
}

} // namespace

void RestartGridPhase::Stop()
{
    m_bActive = false;
    m_prior = 0.0;
}

void RestartGridPhase::Start(double dTurnPerSample, qint64 nOrigin)
{
    m_bActive = true;
    m_dTurn = dTurnPerSample;
    m_nOrigin = nOrigin;
    m_sum = 0.0;
    m_dMagnitudes = 0.0;
    m_nMarks = 0;
    m_prior = 0.0;
}

std::complex<double> RestartGridPhase::Rotation(qint64 nSample) const
{
    return std::polar(1.0, std::fmod(m_dTurn * double(nSample - m_nOrigin), dsp::TWO_PI));
}

void RestartGridPhase::Learn(std::complex<double> sum, qint64 nStart)
{
    // In the marks' frame a mark's phase is the grid phase less the frame's turn by its
    // start: turned back by it, every mark shows the grid phase.
    if (!IsActive())
        return;
    const double keep = 1.0 - 1.0 / MEMORY_MARKS;
    m_sum = keep * m_sum + sum * Rotation(nStart);
    m_dMagnitudes = keep * m_dMagnitudes + std::abs(sum);
    ++m_nMarks;
    const double length = std::abs(m_sum);
    if (m_nMarks < MARKS_NEEDED || length <= 0.0 || m_dMagnitudes <= 0.0) {
        m_prior = 0.0;
        return;
    }
    const double concentration =
        std::min(MOST_CONCENTRATION, concentrationFor(length / m_dMagnitudes));
    m_prior = m_sum / length * concentration;
}

} // namespace cw
