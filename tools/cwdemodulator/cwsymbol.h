#pragma once

#include <QtGlobal>

namespace cw {

/// One Morse symbol code decided by the demodulator, with the input sample it belongs to.
/// The codes are the ones the Morse handler consumes.
struct CwSymbol
{
    enum Code : int
    {
        DOT = 0,
        DASH = 1,
        END_OF_CHARACTER = 3,
        END_OF_WORD = 4,
        END_OF_LINE = 5,
        DOT_TOO_SHORT = 64,
        DASH_TOO_LONG = 65,
        PAUSE_TOO_SHORT = 66,
    };

    int nCode = DOT;
    qint64 nSamplePosition = 0; ///< index of the input sample at which the event happened
};

} // namespace cw
