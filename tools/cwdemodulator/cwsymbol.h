#pragma once

#include "tools/morsecore/morsesymbolcode.h"

#include <cstdint>

namespace cw {

/// One Morse symbol code decided by the demodulator (a morse::MorseSymbolCode, the codes the
/// Morse handler consumes), with the input sample it belongs to.
struct CwSymbol
{
    int nCode = morse::SYMBOL_DOT;
    std::int64_t nSamplePosition = 0; ///< index of the input sample at which the event happened
};

} // namespace cw
