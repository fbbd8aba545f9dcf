#include "tools/cwdemodulator/levelswingwatch.h"

#include <algorithm>

namespace cw {

LevelSwingWatch::LevelSwingWatch(int nStep, int nReadings)
    : m_nStep(std::max(1, nStep)), m_nCountdown(1), m_readings(size_t(std::max(1, nReadings)))
{
}

void LevelSwingWatch::read(float fLevel)
{
    m_nCountdown = m_nStep;
    m_readings[m_nTaken % m_readings.size()] = fLevel;
    ++m_nTaken;
    // A few dozen readings every step of many samples: scanning them costs less than
    // keeping a running extreme.
    const auto end = m_readings.begin() + std::ptrdiff_t(std::min(m_nTaken, m_readings.size()));
    const auto extremes = std::minmax_element(m_readings.begin(), end);
    m_fLowest = *extremes.first;
    m_fHighest = *extremes.second;
}

} // namespace cw
