#pragma once

#include "tools/cwdemodulator/cwtimingtracker.h"

namespace cw {

/// Tells when the speed changed beyond what the tracking follows, or was read wrong. The
/// envelope tracker reads marks at the tracked element length: when the speed drops far below
/// it (35 WPM, then 8 WPM within a line), its dashes come out far too long again and again;
/// when the speed is far above it (a 40 WPM text opening on 1906 read at 17 WPM), nearly every
/// mark comes out a dot. Listens to the envelope tracker's codes, and hears the characters
/// decided (OnDecidedSymbol()): read a multiple too fast, nearly all are of dashes alone, and
/// many a single dash.
///
/// Life: Reset() at the start of each transmission, then the tracker's and the decisions'
/// codes; Lost() speaks for the marks so far.
class LostTimingWatch : public CwTimingTracker::IListener
{
public:
    void OnSymbol(int nCode, qint64 nPosition) override;

    /// The next code decided (the classifier's, not the envelope tracker's).
    void OnDecidedSymbol(int nCode);

    void Reset();
    /// Too many of the recent marks no longer fit the element length tracked, or the recent
    /// characters decided are nearly all of dashes alone.
    bool Lost() const { return m_bLost || m_bDashesAlone; }

private:
    bool m_bTooLongPending = false; ///< the tracker's next dash is far too long
    unsigned m_uTooLongMarks = 0;   ///< a bit per recent mark, newest lowest: too long
    unsigned m_uDashMarks = 0;      ///< a bit per recent mark, newest lowest: a dash
    unsigned m_uMarksSeen = 0;      ///< marks since Reset(), up to the number watched
    bool m_bLost = false;
    bool m_bDotInCharacter = false; ///< the character being decided has a dot
    int m_nMarksInCharacter = 0;    ///< and this many marks
    unsigned m_uDashesAlone = 0;    ///< a bit per recent character, newest lowest: no dot
    unsigned m_uSingleDashes = 0;   ///< a bit per recent character, newest lowest: one dash
    unsigned m_uCharactersSeen = 0; ///< characters since Reset(), up to the number watched
    bool m_bDashesAlone = false;    ///< the recent characters are nearly all of dashes alone
};

} // namespace cw
