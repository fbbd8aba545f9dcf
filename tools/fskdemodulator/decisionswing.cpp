#include "tools/fskdemodulator/decisionswing.h"

#include <cmath>

namespace fsk {

namespace {

/// The typical decided value is followed over about this many bits.
constexpr float SWING_BITS = 32.0f;

} // namespace

void DecisionSwing::Add(float fValue)
{
    // A plain mean over the first bits, then a moving one.
    if (m_nDecided < unsigned(SWING_BITS))
        ++m_nDecided;
    m_fSwing += (std::abs(fValue) - m_fSwing) / float(m_nDecided);
}

} // namespace fsk
