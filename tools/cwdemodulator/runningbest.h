#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <QtGlobal>

namespace cw {

/// The best score over a sliding window of blocks, and the latest block that has it: the
/// CwSegmenter's best long silence within the longest gap modelled. The window's scores are
/// kept in falling order, so that the best is always the oldest kept.
class RunningBest
{
public:
    /// @p nCapacity: more blocks than the window ever holds.
    explicit RunningBest(size_t nCapacity) : m_window(nCapacity) {}

    void Add(qint64 nBlock, double dScore);
    /// Drops the blocks up to @p nOldest.
    void Expire(qint64 nOldest);
    void Clear() { m_window.Clear(); }
    bool IsEmpty() const { return m_window.empty(); }
    double BestScore() const { return m_window.Oldest().dScore; }
    qint64 BestBlock() const { return m_window.Oldest().nBlock; }

private:
    struct Entry
    {
        qint64 nBlock;
        double dScore;
    };
    dsp::RingBuffer<Entry> m_window;
};

} // namespace cw
