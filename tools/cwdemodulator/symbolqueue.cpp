#include "tools/cwdemodulator/symbolqueue.h"

#include "tools/morsedsp/takefront.h"

#include <algorithm>

namespace cw {

void SymbolQueue::Push(int nCode, std::int64_t nPosition)
{
    m_nLastPosition = std::max({nPosition, m_nLastPosition, std::int64_t(0)});
    m_symbols.push_back({nCode, m_nLastPosition});
}

bool SymbolQueue::Take(CwSymbol& symbol)
{
    return dsp::takeFront(m_symbols, symbol);
}

} // namespace cw
