#pragma once

/// The base character set of a decoder's text or of a charset map. The decoder modules file
/// gives it per decoder by a letter: I for ITA2, A for ASCII, B for both.
enum eBASE_CHARSET
{
    eNONE = 0,
    eITA2 = 1,
    eASCII = 2,
    eBOTH = 3,
};

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
