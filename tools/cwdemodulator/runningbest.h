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

    /// (Inline: the segmenter adds a block at every boundary.)
    void Add(qint64 nBlock, double dScore)
    {
        // A later block of the same score or more outlives the earlier ones and wins ties.
        while (!m_window.empty() && m_window.Newest().dScore <= dScore)
            m_window.PopNewest();
        m_window.Push({nBlock, dScore});
    }
    /// Drops the blocks up to @p nOldest.
    void Expire(qint64 nOldest)
    {
        while (!m_window.empty() && m_window.Oldest().nBlock <= nOldest)
            m_window.PopOldest();
    }
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
