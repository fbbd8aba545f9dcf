#pragma once

#include "tools/fskdemodulator/ita2decoder.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace fsk {

/// Turns decided codes into printed characters (through the letters/figures case) and repairs
/// a case shift that one doubtful bit broke, from the word that follows it:
/// - a FIGS read as a neighbouring letter (G, B, W, J) at the start of a word prints the
///   figure group after it as letters of the top row (QWERTYUIOP): when the letter's least
///   sure bit turns it into FIGS and the word that follows is such letters only, it was FIGS;
/// - a space read as a neighbouring code in the figures case keeps the next word in figures,
///   where it prints signs: when the least sure bit turns the code into a space and a sign
///   that is no digit follows, it was the space;
/// - FIGS and LTRS differ in one bit: a FIGS read as LTRS at the start of a word prints its
///   figure group as top-row letters, a LTRS read as FIGS its word as signs; either is put
///   back by the same tests as above.
/// A character that may start such a repair is held until its word shows which reading holds
/// (a few characters at most); all others pass at once.
class ShiftRepair
{
public:
    struct Character
    {
        unsigned nCode = 0;
        /// The code with its least sure data bit the other way, and how sure that bit was
        /// (its decision value over the typical one).
        unsigned nAlternative = 0;
        float fMargin = 1.0f;
        char cText = 0; ///< set when the character is taken
        bool bFramingError = false;
        int64_t nSample = 0;
    };

    ShiftRepair(const Ita2Decoder::Settings& text, bool bRepair);

    void Push(const Character& character);
    /// The input ended: what is held is decided on what came.
    void Finish();
    /// The oldest character decided, not yet taken; false when none is waiting.
    bool Take(Character& character);

private:
    enum Repair
    {
        eNONE,
        eLOST_FIGURES, ///< the held character may be a FIGS
        eLOST_SPACE,   ///< the held character may be a space in the figures case
        eLOST_LETTERS, ///< the held FIGS may be a LTRS
    };

    Repair possibleRepair(const Character& character) const;
    /// Looks at the held word after its first character; releases it once decided.
    void judgeHeld();
    void releaseHeld(bool bRepair);
    void print(Character character);

    Ita2Decoder m_text;
    const bool m_bRepair;
    const bool m_bUnshiftOnSpace;
    const Ita2Alphabet::FigureSet m_figures;
    bool m_bWordStart = true;
    Repair m_held = eNONE;
    std::deque<Character> m_holding;
    std::deque<Character> m_ready;
};

} // namespace fsk
