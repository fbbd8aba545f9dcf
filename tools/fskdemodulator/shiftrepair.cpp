#include "tools/fskdemodulator/shiftrepair.h"

#include "tools/morsedsp/takefront.h"

#include <algorithm>

namespace fsk {

namespace {

constexpr unsigned SPACE = 0x04;
constexpr unsigned CARRIAGE_RETURN = 0x08;
constexpr unsigned LINE_FEED = 0x02;
/// A bit decided this close to the threshold (its value over the typical one) may be wrong.
constexpr float DOUBTFUL_MARGIN = 0.5f;
/// A figure group read as letters shows from this many characters on...
constexpr size_t MIN_GROUP = 2;
/// ...and a word held for a repair is given up after this many characters.
constexpr size_t MAX_HELD = 12;

bool endsWord(unsigned nCode)
{
    return nCode == SPACE || nCode == CARRIAGE_RETURN || nCode == LINE_FEED;
}

bool isLineEnd(unsigned nCode)
{
    return nCode == CARRIAGE_RETURN || nCode == LINE_FEED;
}

bool isShift(unsigned nCode)
{
    return nCode == Ita2Alphabet::FIGURES || nCode == Ita2Alphabet::LETTERS;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

ShiftRepair::ShiftRepair(const Ita2Decoder::Settings& text, bool bRepair)
    : m_text(text), m_bRepair(bRepair), m_bUnshiftOnSpace(text.bUnshiftOnSpace),
      m_figures(text.figures)
{
}

void ShiftRepair::Push(const Character& character)
{
    if (m_held != eNONE) {
        m_holding.push_back(character);
        judgeHeld();
        return;
    }
    m_held = possibleRepair(character);
    if (m_held == eNONE)
        print(character);
    else
        m_holding.push_back(character);
}

void ShiftRepair::Finish()
{
    // A figure group read as letters that reached the end of the input is complete.
    while (m_held != eNONE)
        releaseHeld(m_held == eLOST_FIGURES && m_holding.size() > MIN_GROUP);
}

bool ShiftRepair::Take(Character& character)
{
    return dsp::takeFront(m_ready, character);
}

bool ShiftRepair::mayBe(const Character& character, unsigned nCode)
{
    const unsigned differing = character.nCode ^ nCode;
    if (differing == 0 || (differing & (differing - 1)) != 0)
        return false;
    unsigned bit = 0;
    while ((differing >> bit) != 1u)
        ++bit;
    return bit < 5 && character.afMargins[bit] < DOUBTFUL_MARGIN;
}

bool ShiftRepair::leastSureAlternative(const Character& character, unsigned& nCode)
{
    const float* leastSure = std::min_element(character.afMargins, character.afMargins + 5);
    nCode = character.nCode ^ (1u << unsigned(leastSure - character.afMargins));
    return *leastSure < DOUBTFUL_MARGIN;
}

bool ShiftRepair::mayBeDigit(const Character& character) const
{
    for (unsigned bit = 0; bit < 5; ++bit) {
        const unsigned code = character.nCode ^ (1u << bit);
        if (mayBe(character, code) && isDigit(Ita2Alphabet::Figure(code, m_figures)))
            return true;
    }
    return false;
}

bool ShiftRepair::mayEndWord(const Character& character)
{
    return mayBe(character, SPACE) || mayBe(character, CARRIAGE_RETURN) ||
           mayBe(character, LINE_FEED);
}

char ShiftRepair::printed(unsigned nCode) const
{
    return m_text.InFigures() ? Ita2Alphabet::Figure(nCode, m_figures)
                              : Ita2Alphabet::Letter(nCode);
}

bool ShiftRepair::mayBeInWord(const Character& character, unsigned& nCode) const
{
    if (m_bWordStart || !isLineEnd(character.nCode) || isLineEnd(m_nLastCode))
        return false;
    if (!leastSureAlternative(character, nCode) || endsWord(nCode))
        return false;
    return printed(nCode) != '\0';
}

ShiftRepair::Repair ShiftRepair::possibleRepair(const Character& character)
{
    if (!m_bRepair)
        return eNONE;
    if (mayBeInWord(character, m_nRepairedCode))
        return eLOST_IN_WORD;
    if (endsWord(character.nCode))
        return eNONE;
    // A FIGS at the start of a word may be a letter or a LTRS (they differ in one bit) whose
    // word then prints in the wrong case.
    if (character.nCode == Ita2Alphabet::FIGURES) {
        const bool doubtful = leastSureAlternative(character, m_nRepairedCode);
        return m_bWordStart && doubtful ? eLOST_LETTERS : eNONE;
    }
    // A transmission opens with LTRS: that one is not read as a lost FIGS.
    const bool opening = !m_bOpened && character.nCode == Ita2Alphabet::LETTERS;
    if (!m_text.InFigures() && m_bWordStart && !opening &&
        mayBe(character, Ita2Alphabet::FIGURES)) {
        m_nRepairedCode = Ita2Alphabet::FIGURES;
        return eLOST_FIGURES;
    }
    if (isShift(character.nCode))
        return eNONE;
    if (m_text.InFigures() && m_bUnshiftOnSpace && mayBe(character, SPACE)) {
        m_nRepairedCode = SPACE;
        return eLOST_SPACE;
    }
    return eNONE;
}

void ShiftRepair::judgeHeld()
{
    const unsigned code = m_holding.back().nCode;
    const bool wordEnd = endsWord(code) || isShift(code);
    if (m_held == eLOST_IN_WORD) {
        // The word goes on after the line end: it split the word.
        releaseHeld(!wordEnd && printed(code) != '\0');
    } else if (m_held == eLOST_FIGURES) {
        // Top-row letters up to the end of the word: a figure group.
        if (wordEnd)
            releaseHeld(m_holding.size() - 2 >= MIN_GROUP);
        else if (!isDigit(Ita2Alphabet::Figure(code, m_figures)))
            releaseHeld(false);
    } else {
        // A sign that is no digit before the word ends: a word of letters printed as figures.
        // One that a doubtful bit makes a digit may be a bit error in a figure group, and one
        // that it makes a space may end the group.
        if (wordEnd || mayEndWord(m_holding.back()))
            releaseHeld(false);
        else if (!isDigit(Ita2Alphabet::Figure(code, m_figures)) && !mayBeDigit(m_holding.back()))
            releaseHeld(true);
    }
    if (m_held != eNONE && m_holding.size() >= MAX_HELD)
        releaseHeld(false);
}

void ShiftRepair::releaseHeld(bool bRepair)
{
    if (m_holding.empty()) {
        m_held = eNONE;
        return;
    }
    std::deque<Character> held;
    held.swap(m_holding);
    m_held = eNONE;
    Character first = held.front();
    held.pop_front();
    if (bRepair)
        first.nCode = m_nRepairedCode;
    print(first);
    // The rest is looked at afresh, in the case the first one left: one of them may start a
    // repair of its own.
    for (const Character& character : held)
        Push(character);
}

void ShiftRepair::print(Character character)
{
    character.cText = m_text.Push(character.nCode);
    m_bOpened = true;
    m_nLastCode = character.nCode;
    if (endsWord(character.nCode))
        m_bWordStart = true;
    else if (character.cText != '\0')
        m_bWordStart = false;
    m_ready.push_back(character);
}

} // namespace fsk
