#include "tools/fskdemodulator/tonebalance.h"

#include <algorithm>

namespace fsk {

namespace {

/// Levels follow over about this many decided bits of each tone: long enough to average the
/// noise, short enough to follow fading.
constexpr float FOLLOW_BITS = 16.0f;

} // namespace

ToneBalance::ToneBalance(double) : m_fWeight(1.0f / FOLLOW_BITS) {}

float ToneBalance::Tracker::clipped(float fAmplitude) const
{
    return std::clamp(fAmplitude, fFloor, std::max(fFloor, fLevel)) - fFloor;
}

float ToneBalance::Push(float fMark, float fSpace)
{
    const float markRange = std::max(0.0f, m_mark.fLevel - m_mark.fFloor);
    const float spaceRange = std::max(0.0f, m_space.fLevel - m_space.fFloor);
    return m_mark.clipped(fMark) - m_space.clipped(fSpace) - 0.5f * (markRange - spaceRange);
}

void ToneBalance::Learn(float fMark, float fSpace, bool bMark)
{
    Tracker& on = bMark ? m_mark : m_space;
    Tracker& off = bMark ? m_space : m_mark;
    on.fLevel += m_fWeight * ((bMark ? fMark : fSpace) - on.fLevel);
    off.fFloor += m_fWeight * ((bMark ? fSpace : fMark) - off.fFloor);
}

void ToneBalance::Prime(float fLevel, float fFloor)
{
    m_mark.fLevel = m_space.fLevel = fLevel;
    m_mark.fFloor = m_space.fFloor = fFloor;
}

} // namespace fsk
