#include "tools/cwdemodulator/tonerotator.h"

#include <cmath>

namespace cw {

void ToneRotator::Start(double dPhase, double dStep)
{
    SetStep(dStep);
    m_dCos = std::cos(dPhase);
    m_dSin = std::sin(dPhase);
}

void ToneRotator::SetStep(double dStep)
{
    m_dStepCos = std::cos(dStep);
    m_dStepSin = std::sin(dStep);
}

void ToneRotator::Advance(qint64 nSample)
{
    const double c = m_dCos * m_dStepCos - m_dSin * m_dStepSin;
    const double s = m_dSin * m_dStepCos + m_dCos * m_dStepSin;
    m_dCos = c;
    m_dSin = s;
    if ((nSample & 1023) == 0) {
        const double norm = 1.0 / std::sqrt(c * c + s * s);
        m_dCos *= norm;
        m_dSin *= norm;
    }
}

} // namespace cw
