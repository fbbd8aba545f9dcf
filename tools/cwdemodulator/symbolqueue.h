#pragma once

#include "tools/cwdemodulator/cwsymbol.h"

#include <cstdint>
#include <deque>

namespace cw {

/// The symbols the demodulator decided and that were not yet taken, in the order of their
/// input positions: a symbol is never placed before the one given out ahead of it.
///
/// Life: Push() per symbol decided, Take() until it says none is waiting.
class SymbolQueue
{
public:
    /// Queues @p nCode at input sample @p nPosition, or at the last position given out (never
    /// before the input's start) when that comes later.
    void Push(int nCode, std::int64_t nPosition);
    /// The oldest symbol not yet taken; false when none is waiting.
    bool Take(CwSymbol& symbol);
    /// The input position of the last symbol queued.
    std::int64_t LastPosition() const { return m_nLastPosition; }

private:
    std::deque<CwSymbol> m_symbols;
    std::int64_t m_nLastPosition = 0;
};

} // namespace cw
