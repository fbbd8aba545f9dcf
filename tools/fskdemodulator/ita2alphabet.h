#pragma once

#include "tools/fskdemodulator/fskdemodulator_export.h"

namespace fsk {

/// The 5-bit teleprinter code: which character each code stands for in the letters and the
/// figures case. Codes are numbered with the first data bit sent as the least significant bit.
class FSKDEMODULATOR_EXPORT Ita2Alphabet
{
public:
    /// The figures case differs between the international table and the US teleprinter table.
    enum FigureSet
    {
        eITA2,
        eUS_TTY,
    };

    static constexpr unsigned char LETTERS = 0x1F;
    static constexpr unsigned char FIGURES = 0x1B;
    static constexpr unsigned char NUL = 0x00;

    /// The character of @p nCode in the letters case; 0 for the shift codes and NUL.
    static char Letter(unsigned nCode);
    /// The character of @p nCode in the figures case; 0 for the shift codes and NUL.
    static char Figure(unsigned nCode, FigureSet figures);
    /// The code that sends @p c in the figures case, or -1.
    static int FigureCode(char c, FigureSet figures);
    /// The code that sends @p c in the letters case (letters in either case), or -1.
    static int LetterCode(char c);
    /// True for the characters both cases share (space, CR, LF).
    static bool IsInBothCases(char c);
};

} // namespace fsk
