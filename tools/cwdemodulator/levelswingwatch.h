#pragma once

#include "tools/morsedsp/ringbuffer.h"

namespace cw {

/// Watches a mark level over the last seconds and tells when it swung: the highest reading
/// of the span is some factor over the lowest. A steady signal's level learned from its marks
/// moves little, a fade or a receiver's gain cut moves it far.
///
/// Life: create, Push() per sample; Highest() and Lowest() speak for the readings kept.
class LevelSwingWatch
{
public:
    /// The level is read every @p nStep samples (at least 1, the first sample included); the
    /// last @p nReadings readings (at least 1) are kept.
    LevelSwingWatch(int nStep, int nReadings);

    /// Returns whether the level was read (only then can the extremes have moved).
    bool Push(float fLevel)
    {
        if (--m_nCountdown > 0)
            return false;
        read(fLevel);
        return true;
    }
    float Highest() const { return m_fHighest; }
    float Lowest() const { return m_fLowest; }

private:
    void read(float fLevel);

    int m_nStep;
    int m_nCountdown;
    dsp::RingBuffer<float> m_readings;
    float m_fHighest = 0.0f;
    float m_fLowest = 0.0f;
};

} // namespace cw
