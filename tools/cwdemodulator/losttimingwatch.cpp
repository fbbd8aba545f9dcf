#include "tools/cwdemodulator/losttimingwatch.h"

#include "tools/cwdemodulator/cwsymbol.h"

#include <algorithm>
#include <bitset>

namespace cw {

namespace {

/// Of the envelope tracker's last marks, this many far too long for the element length
/// tracked say the speed changed beyond what the tracking follows.
constexpr unsigned TIMING_MARKS_WATCHED = 8;
constexpr int TIMING_MARKS_TOO_LONG = 3;
/// Of the last marks, this few dashes say the element length tracked is far too long: a fast
/// transmission read at half its speed or slower takes its dashes for dots. Text read at its
/// speed held three dashes or more in every such run, down to -10 dB.
constexpr unsigned KIND_MARKS_WATCHED = 24;
constexpr int KIND_MAX_DASHES = 1;
/// Of the last characters decided, this many of dashes alone, this many of them a single
/// dash, say the element length is a multiple too short: read three times too fast, a text's
/// dots come out as dashes and the gaps within its characters as character gaps (the first
/// seconds of a 15 WPM text fading at 1 Hz, read at 45 WPM: `WTTT TTT M TKTT TM M`). Text read
/// at its speed has dashes alone in about one character of five (T, M, O, 0); a text of them
/// alone (`MOM TOO OTTO`) has few single dashes.
constexpr unsigned DECIDED_CHARACTERS_WATCHED = 10;
constexpr int DECIDED_MIN_DASHES_ALONE = 9;
constexpr int DECIDED_MIN_SINGLE_DASHES = 5;

/// Adds the newest mark's or character's bit to @p uBits, a bit each (newest lowest).
void pushRecent(unsigned& uBits, bool bSet)
{
    uBits = (uBits << 1) | (bSet ? 1u : 0u);
}

/// How many of the last @p nMarks marks have their bit set in @p uBits (newest lowest).
int countRecent(unsigned uBits, unsigned nMarks)
{
    return int(std::bitset<32>(uBits & ((1u << nMarks) - 1u)).count());
}

} // namespace

void LostTimingWatch::OnSymbol(int nCode, qint64 /*nPosition*/)
{
    // A fall in speed shows as dashes far too long; a rise as marks that are nearly all dots.
    // Marks running on without a character end would tell a rise too, but so does noise near
    // the floor (ebook2cw at -10 dB lost 1.2 points).
    if (nCode == morse::SYMBOL_DASH_TOO_LONG)
        m_bTooLongPending = true;
    if (nCode != morse::SYMBOL_DOT && nCode != morse::SYMBOL_DASH)
        return;
    pushRecent(m_uTooLongMarks, m_bTooLongPending);
    m_bTooLongPending = false;
    pushRecent(m_uDashMarks, nCode == morse::SYMBOL_DASH);
    m_uMarksSeen = std::min(m_uMarksSeen + 1, KIND_MARKS_WATCHED);
    const bool dashesTooLong =
        countRecent(m_uTooLongMarks, TIMING_MARKS_WATCHED) >= TIMING_MARKS_TOO_LONG;
    const bool nearlyAllDots = m_uMarksSeen == KIND_MARKS_WATCHED &&
                               countRecent(m_uDashMarks, KIND_MARKS_WATCHED) <= KIND_MAX_DASHES;
    m_bLost = dashesTooLong || nearlyAllDots;
}

void LostTimingWatch::OnDecidedSymbol(int nCode)
{
    if (nCode == morse::SYMBOL_DOT || nCode == morse::SYMBOL_DASH) {
        ++m_nMarksInCharacter;
        m_bDotInCharacter = m_bDotInCharacter || nCode == morse::SYMBOL_DOT;
        return;
    }
    if (nCode != morse::SYMBOL_END_OF_CHARACTER || m_nMarksInCharacter == 0)
        return;
    pushRecent(m_uDashesAlone, !m_bDotInCharacter);
    pushRecent(m_uSingleDashes, !m_bDotInCharacter && m_nMarksInCharacter == 1);
    m_uCharactersSeen = std::min(m_uCharactersSeen + 1, DECIDED_CHARACTERS_WATCHED);
    m_nMarksInCharacter = 0;
    m_bDotInCharacter = false;
    m_bDashesAlone =
        m_bDashesAlone ||
        (m_uCharactersSeen == DECIDED_CHARACTERS_WATCHED &&
         countRecent(m_uDashesAlone, DECIDED_CHARACTERS_WATCHED) >= DECIDED_MIN_DASHES_ALONE &&
         countRecent(m_uSingleDashes, DECIDED_CHARACTERS_WATCHED) >= DECIDED_MIN_SINGLE_DASHES);
}

void LostTimingWatch::Reset()
{
    *this = LostTimingWatch();
}

} // namespace cw
