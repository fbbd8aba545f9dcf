#include "tools/cwdemodulator/unheardmarkwatch.h"

#include <algorithm>

namespace cw {

UnheardMarkWatch::UnheardMarkWatch(int nEnvelopeLength)
    : m_nLength(std::max(1, nEnvelopeLength)), m_recent(2 * size_t(m_nLength) + 1)
{
}

void UnheardMarkWatch::Push(float fEnvelope, bool bKeyDown, float fClearOfNoise)
{
    m_recent.Push(fEnvelope);
    const int margin = 2 * m_nLength;
    m_nKeyUp = bKeyDown ? 0 : std::min(m_nKeyUp + 1, 2 * margin + 1);
    // The sample two envelope lengths back lies as far inside the key-up run on both sides:
    // neither mark around the run reaches it.
    if (m_nKeyUp > 2 * margin && m_recent.Oldest() >= fClearOfNoise)
        m_bHeard = true;
}

} // namespace cw
