#include "tools/cwdemodulator/leveltrend.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr float LOWEST_LEVEL = 1e-9f; ///< a level of 0 has no logarithm

} // namespace

LevelTrend::LevelTrend(double dSamples) : m_fWeight(float(1.0 / std::max(1.0, dSamples))) {}

float LevelTrend::Push(float fLevel)
{
    const float logLevel = std::log(std::max(fLevel, LOWEST_LEVEL));
    if (!m_bStarted) {
        m_fFirst = logLevel;
        m_fSecond = logLevel;
        m_bStarted = true;
    }
    m_fFirst += m_fWeight * (logLevel - m_fFirst);
    m_fSecond += m_fWeight * (m_fFirst - m_fSecond);
    return std::exp(2.0f * m_fFirst - m_fSecond);
}

} // namespace cw
