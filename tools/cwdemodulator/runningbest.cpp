#include "tools/cwdemodulator/runningbest.h"

namespace cw {

void RunningBest::Add(qint64 nBlock, double dScore)
{
    // A later block of the same score or more outlives the earlier ones and wins ties.
    while (!m_window.empty() && m_window.Newest().dScore <= dScore)
        m_window.PopNewest();
    m_window.Push({nBlock, dScore});
}

void RunningBest::Expire(qint64 nOldest)
{
    while (!m_window.empty() && m_window.Oldest().nBlock <= nOldest)
        m_window.PopOldest();
}

} // namespace cw
