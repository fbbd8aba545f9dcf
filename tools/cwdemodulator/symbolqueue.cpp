#include "tools/cwdemodulator/symbolqueue.h"

#include <algorithm>

namespace cw {

void SymbolQueue::Push(int nCode, std::int64_t nPosition)
{
    m_nLastPosition = std::max({nPosition, m_nLastPosition, std::int64_t(0)});
    m_symbols.push_back({nCode, m_nLastPosition});
    if (m_bHolding)
        ++m_nHeld;
}

bool SymbolQueue::Take(CwSymbol& symbol)
{
    if (m_symbols.size() <= m_nHeld)
        return false;
    symbol = m_symbols.front();
    m_symbols.pop_front();
    m_nLastTaken = symbol.nSamplePosition;
    return true;
}

void SymbolQueue::Release()
{
    m_nHeld = 0;
    m_bHolding = false;
}

void SymbolQueue::DropFrom(std::int64_t nPosition)
{
    while (m_nHeld > 0 && m_symbols.back().nSamplePosition >= nPosition) {
        m_symbols.pop_back();
        --m_nHeld;
    }
    // What comes next is placed after what is still queued, or after what was taken.
    m_nLastPosition = m_symbols.empty() ? m_nLastTaken : m_symbols.back().nSamplePosition;
}

std::int64_t SymbolQueue::FirstHeldPosition() const
{
    return m_nHeld > 0 ? m_symbols[m_symbols.size() - m_nHeld].nSamplePosition : -1;
}

} // namespace cw
