#include "tools/cwdemodulator/toneshare.h"

#include "tools/cwdemodulator/channelfilter.h"

#include <algorithm>

namespace cw {

ToneShare::ToneShare(double dSampleRate, double dPassHz)
    : m_pFilter(std::make_unique<ChannelFilter>(dSampleRate, dPassHz)),
      m_nQuiet(2 * m_pFilter->Delay() + 1), m_nSinceLoss(m_nQuiet)
{
    // The filter starts from samples that lost nothing.
    for (int i = 0; i < m_nQuiet; ++i)
        m_pFilter->Push(1.0f);
}

ToneShare::~ToneShare() = default;

float ToneShare::Push(float fLost)
{
    // Most samples lose nothing: the filter then holds ones, which it keeps.
    if (fLost <= 0.0f && m_nSinceLoss >= m_nQuiet)
        return m_fLast = 1.0f;
    m_nSinceLoss = fLost > 0.0f ? 0 : m_nSinceLoss + 1;
    return m_fLast = std::clamp(m_pFilter->Push(1.0f - fLost).real(), 0.0f, 1.0f);
}

} // namespace cw
