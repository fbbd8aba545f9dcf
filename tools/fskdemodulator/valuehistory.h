#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <cstddef>
#include <cstdint>

namespace fsk {

/// The latest decision values in a ring, long enough for a whole character and more, read back
/// at any sample time they cover. The CharacterFramer pushes every value and looks back at the
/// characters it frames.
class ValueHistory
{
public:
    explicit ValueHistory(size_t nCapacity);

    void Push(float fValue);
    /// The index of the newest value; -1 before the first.
    int64_t NewestSample() const { return m_nSample; }
    /// The value at the sample nearest @p dSample, held at the newest and the oldest kept.
    float ValueAt(double dSample) const;

private:
    dsp::RingBuffer<float> m_values; ///< kept full: zeros before the first value
    int64_t m_nSample = -1;
};

} // namespace fsk
