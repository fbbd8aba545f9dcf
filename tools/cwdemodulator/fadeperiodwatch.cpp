#include "tools/cwdemodulator/fadeperiodwatch.h"

#include <algorithm>

namespace cw {

FadePeriodWatch::FadePeriodWatch(float fFactor) : m_fFactor(fFactor) {}

void FadePeriodWatch::Push(std::int64_t nAt, float fLevel)
{
    if (m_fExtreme <= 0.0f) {
        m_fExtreme = fLevel;
        m_nExtremeAt = nAt;
        return;
    }
    if (m_bFalling) {
        if (fLevel < m_fExtreme) {
            m_fExtreme = fLevel;
            m_nExtremeAt = nAt;
        } else if (fLevel >= m_fFactor * m_fExtreme) {
            bottomAt(m_nExtremeAt);
            m_bFalling = false;
            m_fExtreme = fLevel;
        }
        return;
    }
    if (fLevel > m_fExtreme) {
        m_fExtreme = fLevel;
    } else if (m_fFactor * fLevel <= m_fExtreme) {
        m_bFalling = true;
        m_fExtreme = fLevel;
        m_nExtremeAt = nAt;
    }
}

void FadePeriodWatch::bottomAt(std::int64_t nAt)
{
    if (m_nBottoms > 0) {
        m_spans[2] = m_spans[1];
        m_spans[1] = m_spans[0];
        m_spans[0] = nAt - m_nLastBottom;
    }
    m_nLastBottom = nAt;
    ++m_nBottoms;
}

std::int64_t FadePeriodWatch::Period() const
{
    if (m_nBottoms < 4)
        return 0;
    return std::max(std::min(m_spans[0], m_spans[1]),
                    std::min(std::max(m_spans[0], m_spans[1]), m_spans[2]));
}

} // namespace cw
