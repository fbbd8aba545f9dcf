#pragma once

#include "tools/cwdemodulator/cwsegmenter.h"

namespace cw {

class CwTimingTracker;
class LeakageWatch;

/// Drops weak dots that stand alone between long silences on their way from the segmenter to
/// the classifier. Such a dot is an "E", or noise that crossed over: near the noise floor the
/// second is common, so it must also be about as strong as the other marks (within a word of a
/// transmission whose level is followed, the level it was weighed against, which follows a
/// fade). Each mark waits for the gap after it to be known.
///
/// Life: Reset() at the start of each transmission, Push() per segment decided, Finish() at
/// its end.
class LoneDotFilter
{
public:
    void Reset();
    /// Whether the level the segmenter weighs the marks against follows a level that moves.
    void SetLevelFollowed(bool bFollowed) { m_bLevelFollowed = bFollowed; }
    /// Passes @p segment on to @p classifier, a mark once the gap after it is known;
    /// @p leakage says whether a stronger neighbour keys.
    void Push(const CwSegmenter::Segment& segment, CwTimingTracker& classifier,
              const LeakageWatch& leakage);
    /// The segments ended: the mark waiting is judged as if a long silence followed.
    void Finish(CwTimingTracker& classifier, const LeakageWatch& leakage);

private:
    /// The level @p mark is judged at.
    static float markLevelOf(const CwSegmenter::Segment& mark);
    bool isLoneWeakDot(double dGapAfterUnits, const CwTimingTracker& classifier,
                       const LeakageWatch& leakage) const;

    CwSegmenter::Segment m_pendingMark{}; ///< waits for the gap after it
    bool m_bMarkPending = false;
    double m_dGapBefore = 0.0; ///< elements of silence before the pending mark
    bool m_bLevelFollowed = false;
};

} // namespace cw
