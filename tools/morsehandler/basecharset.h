#pragma once

#include "tools/morsehandler/codechandler.h"

/// The base character set of a decoder's text or of a charset map: CodecHandler's enumeration,
/// the one definition, under its plain name and with its values at namespace scope for the
/// mapping directory and the readers. The decoder modules file gives it per decoder by a
/// letter: I for ITA2, A for ASCII, B for both.
using eBASE_CHARSET = CodecHandler::eBASE_CHARSET;
constexpr eBASE_CHARSET eNONE = CodecHandler::eNONE;
constexpr eBASE_CHARSET eITA2 = CodecHandler::eITA2;
constexpr eBASE_CHARSET eASCII = CodecHandler::eASCII;
constexpr eBASE_CHARSET eBOTH = CodecHandler::eBOTH;

namespace morse {

/// The base character set that a decoder modules file's charset letter names; any letter but
/// I, A and B gives eNONE.
inline eBASE_CHARSET baseCharsetFromLetter(char cLetter)
{
    switch (cLetter) {
    case 'I':
        return eITA2;
    case 'A':
        return eASCII;
    case 'B':
        return eBOTH;
    default:
        return eNONE;
    }
}

} // namespace morse
