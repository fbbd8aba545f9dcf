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
    m_readings.Push(fLevel);
    // A few dozen readings every step of many samples: scanning them costs less than
    // keeping a running extreme.
    m_fLowest = m_fHighest = fLevel;
    m_readings.ForEach([this](float f) {
        m_fLowest = std::min(m_fLowest, f);
        m_fHighest = std::max(m_fHighest, f);
    });
}

} // namespace cw
