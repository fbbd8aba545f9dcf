#pragma once

#include "tools/fskdemodulator/ita2decoder.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace fsk {

/// Turns decided codes into printed characters (through the letters/figures case) and repairs
/// a case shift that one doubtful bit broke, from the word that follows it:
/// - a FIGS read as a neighbouring letter (G, B, W, J) at the start of a word prints the
///   figure group after it as letters of the top row (QWERTYUIOP): when a doubtful bit of the
///   letter turns it into FIGS and the word that follows is such letters only, it was FIGS;
/// - a space read as a neighbouring code in the figures case keeps the next word in figures,
///   where it prints signs: when a doubtful bit turns the code into a space and a sign that
///   is no digit follows, it was the space;
/// - a letter read as FIGS at the start of a word prints the rest of the word as signs: when
///   a sign that is no digit follows, it was the code its least sure bit gives;
/// - FIGS and LTRS differ in one bit: a FIGS read as LTRS at the start of a word prints its
///   figure group as top-row letters, a LTRS read as FIGS its word as signs; either is put
///   back by the same tests as above. The LTRS a transmission opens with is taken as sent;
/// - a letter or figure read as a line feed or carriage return splits its word: when a
///   doubtful bit turns the line end into a printable character of the case and the word goes
///   on after it, it was that character (a line ends with CR LF, between words, never inside
///   one).
/// A character that may start such a repair is held until its word shows which reading holds
/// (a few characters at most); all others pass at once.
class ShiftRepair
{
public:
    struct Character
    {
        unsigned nCode = 0;
        /// How sure each data bit was (0 first): its decision value over the typical one.
        float afMargins[5] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
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
        eLOST_LETTERS, ///< the held FIGS may be a LTRS or a letter
        eLOST_IN_WORD, ///< the held line end inside a word may be a character of the word
    };

    /// Whether the character may start a repair; sets what it would become.
    Repair possibleRepair(const Character& character);
    /// True when one doubtful bit turns the character's code into @p nCode.
    static bool mayBe(const Character& character, unsigned nCode);
    /// True when one doubtful bit turns the character into a digit in the figures case.
    bool mayBeDigit(const Character& character) const;
    /// True when one doubtful bit turns the character into a space or a line end.
    static bool mayEndWord(const Character& character);
    /// The printable character of the present case that the line end's least sure bit gives,
    /// when that bit is doubtful and the line end stands inside a word.
    bool mayBeInWord(const Character& character, unsigned& nCode) const;
    /// The character @p nCode prints in the present case (0 for none).
    char printed(unsigned nCode) const;
    /// The code the character's least sure bit gives, when that bit is doubtful.
    static bool leastSureAlternative(const Character& character, unsigned& nCode);
    /// Looks at the held word after its first character; releases it once decided.
    void judgeHeld();
    void releaseHeld(bool bRepair);
    void print(Character character);

    Ita2Decoder m_text;
    const bool m_bRepair;
    const bool m_bUnshiftOnSpace;
    const Ita2Alphabet::FigureSet m_figures;
    bool m_bWordStart = true;
    bool m_bOpened = false;   ///< a character was printed
    unsigned m_nLastCode = 0; ///< the code printed last
    Repair m_held = eNONE;
    unsigned m_nRepairedCode = 0; ///< what the held character becomes when repaired
    std::deque<Character> m_holding;
    std::deque<Character> m_ready;
};

} // namespace fsk
