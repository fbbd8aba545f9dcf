#include "tools/cwdemodulator/losttimingwatch.h"

#include "tools/cwdemodulator/cwsymbol.h"

namespace cw {

namespace {

/// Of the envelope tracker's last marks, this many far too long for the element length
/// tracked say the speed changed beyond what the tracking follows.
constexpr unsigned TIMING_MARKS_WATCHED = 8;
constexpr int TIMING_MARKS_TOO_LONG = 3;

} // namespace

void LostTimingWatch::OnSymbol(int nCode, qint64 /*nPosition*/)
{
    // Only a fall in speed is watched: a rise as far shows as marks running on without a
    // character end, but so does noise near the floor (ebook2cw at -10 dB lost 1.2 points).
    if (nCode == morse::SYMBOL_DASH_TOO_LONG)
        m_bTooLongPending = true;
    if (nCode != morse::SYMBOL_DOT && nCode != morse::SYMBOL_DASH)
        return;
    m_uTooLongMarks = (m_uTooLongMarks << 1) | (m_bTooLongPending ? 1u : 0u);
    m_bTooLongPending = false;
    const unsigned watched = m_uTooLongMarks & ((1u << TIMING_MARKS_WATCHED) - 1u);
    int tooLong = 0;
    for (unsigned bits = watched; bits != 0; bits &= bits - 1)
        ++tooLong;
    m_bLost = tooLong >= TIMING_MARKS_TOO_LONG;
}

void LostTimingWatch::Reset()
{
    m_bTooLongPending = false;
    m_uTooLongMarks = 0;
    m_bLost = false;
}

} // namespace cw
