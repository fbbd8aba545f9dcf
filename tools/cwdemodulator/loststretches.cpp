#include "tools/cwdemodulator/loststretches.h"

#include <algorithm>

namespace cw {

namespace {

/// At most this many stretches are kept: noise that comes and goes must not grow the list.
constexpr std::size_t MOST_STRETCHES = 4096;

} // namespace

LostStretches::LostStretches(std::int64_t nMemory) : m_nMemory(nMemory) {}

void LostStretches::Add(std::int64_t nFirst, std::int64_t nEnd, std::int64_t nKnownAt)
{
    // A stretch that goes on where the last one ended (a crash blanked sample by sample)
    // lengthens it.
    if (!m_stretches.empty() && m_stretches.back().nEnd == nFirst &&
        m_stretches.back().nKnownAt + 1 == nKnownAt) {
        m_stretches.back().nEnd = nEnd;
        m_stretches.back().nKnownAt = nKnownAt;
    } else {
        m_stretches.push_back({nFirst, nEnd, nKnownAt});
    }
    m_nLongestAhead = std::max(m_nLongestAhead, nEnd - nKnownAt);
    while (m_stretches.size() > MOST_STRETCHES ||
           m_stretches.front().nKnownAt < nKnownAt - m_nMemory)
        m_stretches.pop_front();
}

int LostStretches::Count(std::int64_t nFrom, std::int64_t nTo, std::int64_t nKnownBy) const
{
    // The question is about the last moments: from the newest stretch back, while the
    // stretches can still reach the span.
    std::int64_t count = 0;
    for (auto it = m_stretches.rbegin();
         it != m_stretches.rend() && it->nKnownAt + m_nLongestAhead > nFrom; ++it) {
        if (it->nKnownAt <= nKnownBy)
            count +=
                std::max<std::int64_t>(0, std::min(nTo, it->nEnd) - std::max(nFrom, it->nFirst));
    }
    return int(std::min<std::int64_t>(count, nTo - nFrom));
}

} // namespace cw
