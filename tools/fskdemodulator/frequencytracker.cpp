#include "tools/fskdemodulator/frequencytracker.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>

namespace fsk {

namespace {

/// Share of a new turn in the average, and of the averaged offset taken at each look: the
/// offset settles over some twenty bits, slow enough not to follow noise.
constexpr double TURN_AVERAGING = 0.2;
constexpr double OFFSET_GAIN = 0.05;
/// Below this ratio of the averaged turn to its averaged size the turns are noise.
constexpr double MIN_STEADINESS = 0.5;

} // namespace

FrequencyTracker::FrequencyTracker(double dSampleRate, double dBitSamples, double dMaxOffsetHz)
    : m_dSampleRate(dSampleRate), m_nInterval(std::max<size_t>(1, size_t(dBitSamples / 2.0))),
      m_dMaxOffsetHz(dMaxOffsetHz)
{
}

bool FrequencyTracker::Push(std::complex<double> mark, std::complex<double> space)
{
    if (++m_nCount < m_nInterval)
        return false;
    m_nCount = 0;
    // Each product turns by the offset over the interval and weighs by the tone's strength.
    const std::complex<double> turn =
        mark * std::conj(m_previousMark) + space * std::conj(m_previousSpace);
    m_previousMark = mark;
    m_previousSpace = space;
    m_turn += TURN_AVERAGING * (turn - m_turn);
    if (std::norm(m_turn) <= 0.0)
        return false;
    const double offset = std::arg(m_turn) * m_dSampleRate / (dsp::TWO_PI * double(m_nInterval));
    m_dOffsetHz = std::clamp(m_dOffsetHz + OFFSET_GAIN * offset, -m_dMaxOffsetHz, m_dMaxOffsetHz);
    return true;
}

} // namespace fsk
