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
    m_uTooLongMarks = (m_uTooLongMarks << 1) | (m_bTooLongPending ? 1u : 0u);
    m_bTooLongPending = false;
    m_uDashMarks = (m_uDashMarks << 1) | (nCode == morse::SYMBOL_DASH ? 1u : 0u);
    m_uMarksSeen = std::min(m_uMarksSeen + 1, KIND_MARKS_WATCHED);
    const bool dashesTooLong =
        countRecent(m_uTooLongMarks, TIMING_MARKS_WATCHED) >= TIMING_MARKS_TOO_LONG;
    const bool nearlyAllDots = m_uMarksSeen == KIND_MARKS_WATCHED &&
                               countRecent(m_uDashMarks, KIND_MARKS_WATCHED) <= KIND_MAX_DASHES;
    m_bLost = dashesTooLong || nearlyAllDots;
}

void LostTimingWatch::Reset()
{
    m_bTooLongPending = false;
    m_uTooLongMarks = 0;
    m_uDashMarks = 0;
    m_uMarksSeen = 0;
    m_bLost = false;
}

} // namespace cw
