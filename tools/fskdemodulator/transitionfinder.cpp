#include "tools/fskdemodulator/transitionfinder.h"

namespace fsk {

bool TransitionFinder::Push(int64_t nSample, float fValue, float fClearMark)
{
    const float previous = m_fPrevious;
    m_fPrevious = fValue;
    const bool crossed = (previous >= 0.0f) != (fValue >= 0.0f) && nSample > 0;
    if (crossed) {
        // Linear interpolation puts the transition between the two samples.
        m_dCrossing = double(nSample - 1) + double(previous) / double(previous - fValue);
        if (fValue < 0.0f)
            noteFall(m_dCrossing);
    }
    if (fValue > fClearMark)
        m_bClearMark = true;
    return crossed;
}

double TransitionFinder::FallMiddle(double dAfter) const
{
    // Noise near the zero crossing of a slow fall makes several crossings; the fall lies
    // between the first after the value was clearly mark and the last.
    return m_dFirstFall > dAfter ? 0.5 * (m_dFirstFall + m_dLastFall) : m_dLastFall;
}

void TransitionFinder::noteFall(double dCrossing)
{
    if (m_bClearMark)
        m_dFirstFall = dCrossing;
    m_bClearMark = false;
    m_dLastFall = dCrossing;
}

} // namespace fsk
