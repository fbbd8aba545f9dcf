#pragma once

#include "tools/cwdemodulator/cwsymbol.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace cw {

/// The symbols the demodulator decided and that were not yet taken, in the order of their
/// input positions: a symbol is never placed before the one given out ahead of it. The symbols
/// of a reading not yet proven can be held back, and dropped when the seconds they came from
/// are read anew.
///
/// Life: Push() per symbol decided, Take() until it says none is waiting; HoldBack() when a
/// fresh reading that is not clear begins, then Release() once it proved itself or DropFrom()
/// where it did not.
class SymbolQueue
{
public:
    /// Queues @p nCode at input sample @p nPosition, or at the last position queued (never
    /// before the input's start) when that comes later.
    void Push(int nCode, std::int64_t nPosition);
    /// The oldest symbol not held back; false when none is waiting.
    bool Take(CwSymbol& symbol);
    /// The input position of the last symbol queued.
    std::int64_t LastPosition() const { return m_nLastPosition; }

    /// The symbols queued from now on wait until Release().
    void HoldBack() { m_bHolding = true; }
    /// Lets every symbol held back be taken, and the next ones as they come.
    void Release();
    /// Drops the symbols held back at input positions from @p nPosition on.
    void DropFrom(std::int64_t nPosition);
    /// The input position of the first symbol held back; -1 when none is.
    std::int64_t FirstHeldPosition() const;

private:
    std::deque<CwSymbol> m_symbols;
    size_t m_nHeld = 0; ///< the newest symbols, held back
    bool m_bHolding = false;
    std::int64_t m_nLastPosition = 0;
    std::int64_t m_nLastTaken = 0; ///< the input position of the last symbol taken
};

} // namespace cw
