#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <cstdint>

namespace dsp {

/// The largest value over a sliding window of numbered positions (samples, blocks), and the
/// latest position that has it: the window's values are kept in falling order, so that the
/// largest is always the oldest kept. The CwSegmenter's best long silence and the local mark
/// level's strongest envelope around a sample are such windows.
template <typename T> class RunningBest
{
public:
    /// @p nCapacity: more positions than the window ever holds (at least 1).
    explicit RunningBest(size_t nCapacity = 0) : m_window(nCapacity) {}

    /// Empties the window and sets its capacity.
    void Reset(size_t nCapacity) { m_window.Reset(nCapacity); }
    /// Adds @p value at @p nAt, later than every position added before. (Inline: callers add
    /// a value at every block or sample.)
    void Add(int64_t nAt, T value)
    {
        // A later position of the same value or more outlives the earlier ones and wins ties.
        while (!m_window.empty() && m_window.Newest().value <= value)
            m_window.PopNewest();
        Entry& entry = m_window.PushInPlace();
        entry.nAt = nAt;
        entry.value = value;
    }
    /// Drops the positions up to @p nOldest.
    void Expire(int64_t nOldest)
    {
        while (!m_window.empty() && m_window.Oldest().nAt <= nOldest)
            m_window.PopOldest();
    }
    void Clear() { m_window.Clear(); }
    bool IsEmpty() const { return m_window.empty(); }
    T Best() const { return m_window.Oldest().value; }
    int64_t BestAt() const { return m_window.Oldest().nAt; }

private:
    struct Entry
    {
        int64_t nAt;
        T value;
    };
    RingBuffer<Entry> m_window;
};

} // namespace dsp
