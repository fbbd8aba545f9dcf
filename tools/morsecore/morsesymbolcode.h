#pragma once

namespace morse {

/// The integer Morse symbol codes a demodulator sends. Only the lowest seven bits count; every
/// other value carries no symbol.
enum MorseSymbolCode : int
{
    SYMBOL_DOT = 0,
    SYMBOL_DASH = 1,
    SYMBOL_END_OF_CHARACTER = 3,
    SYMBOL_END_OF_WORD = 4,
    SYMBOL_END_OF_LINE = 5,
    SYMBOL_DOT_TOO_SHORT = 64,
    SYMBOL_DASH_TOO_LONG = 65,
    SYMBOL_PAUSE_TOO_SHORT = 66,
};

/// The bits of a code that count.
constexpr int SYMBOL_CODE_MASK = 0x7F;
/// How many codes carry a symbol.
constexpr int SYMBOL_COUNT = 8;

/// The position of @p code in the order dot, dash, end of character, end of word, end of line,
/// dot too short, dash too long, pause too short (0 to 7); -1 for a code without a symbol.
/// The code is taken as given: callers mask it first where the upper bits must not count.
constexpr int symbolSlot(int code)
{
    switch (code) {
    case SYMBOL_DOT:
        return 0;
    case SYMBOL_DASH:
        return 1;
    case SYMBOL_END_OF_CHARACTER:
        return 2;
    case SYMBOL_END_OF_WORD:
        return 3;
    case SYMBOL_END_OF_LINE:
        return 4;
    case SYMBOL_DOT_TOO_SHORT:
        return 5;
    case SYMBOL_DASH_TOO_LONG:
        return 6;
    case SYMBOL_PAUSE_TOO_SHORT:
        return 7;
    default:
        return -1;
    }
}

} // namespace morse
