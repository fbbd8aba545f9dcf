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
/// How much of each decided mark's phase error goes into the rate the grid phase moves at
/// (critically damped with the averaging over MEMORY_MARKS).
constexpr double RATE_GAIN = 0.002;
/// A mark weighs in the rate as its size against the average mark's, up to this.
constexpr double MOST_RATE_WEIGHT = 2.0;

/// The von Mises concentration whose mean cosine is @p dAgreement (an approximation good to
/// a few percent).
double concentrationFor(double dAgreement)
{
    const double r = std::clamp(dAgreement, 0.0, 0.99);
    return r * (2.0 - r * r) / (1.0 - r * r);
}

} // namespace

bool RestartGridPhase::IsSure() const
{
    return m_dAgreement > 0.0 && concentrationFor(m_dAgreement) >= MOST_CONCENTRATION;
}

void RestartGridPhase::Stop()
{
    m_bActive = false;
    m_prior = 0.0;
    m_dAgreement = 0.0;
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
    m_dAgreement = 0.0;
    m_dRate = 0.0;
    m_dInterval = 0.0;
    m_nLastStart = nOrigin;
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
    const std::complex<double> turned = sum * Rotation(nStart);
    followRate(turned, nStart);
    m_sum = keep * m_sum + turned;
    m_dMagnitudes = keep * m_dMagnitudes + std::abs(sum);
    ++m_nMarks;
    const double length = std::abs(m_sum);
    if (m_nMarks < MARKS_NEEDED || length <= 0.0 || m_dMagnitudes <= 0.0) {
        m_prior = 0.0;
        m_dAgreement = 0.0;
        return;
    }
    m_dAgreement = std::min(1.0, length / m_dMagnitudes);
    const double concentration = std::min(MOST_CONCENTRATION, concentrationFor(m_dAgreement));
    m_prior = m_sum / length * concentration;
}

void RestartGridPhase::followRate(std::complex<double> turned, qint64 nStart)
{
    // The grid's turn is measured on a few seconds of signal: what is left of its error moves
    // the marks' phase steadily. The averaged phase is carried forward at the rate found, and
    // the rate learns from each mark's error against it, so the average does not lag.
    const double interval = double(std::max<qint64>(0, nStart - m_nLastStart));
    m_nLastStart = std::max(m_nLastStart, nStart);
    m_sum *= std::polar(1.0, std::fmod(m_dRate * interval, dsp::TWO_PI));
    if (interval > 0.0)
        m_dInterval =
            m_dInterval > 0.0 ? m_dInterval + (interval - m_dInterval) / MEMORY_MARKS : interval;
    if (m_nMarks < MARKS_NEEDED || std::abs(m_sum) <= 0.0 || m_dInterval <= 0.0 ||
        m_dMagnitudes <= 0.0)
        return;
    const double error = std::arg(turned * std::conj(m_sum));
    const double weight =
        std::min(MOST_RATE_WEIGHT, std::abs(turned) * MEMORY_MARKS / m_dMagnitudes);
    m_dRate += RATE_GAIN * weight * error / m_dInterval;
}

} // namespace cw
