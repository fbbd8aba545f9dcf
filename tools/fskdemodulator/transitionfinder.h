#pragma once

#include <cstdint>

namespace fsk {

/// Finds where the decision value crosses between mark (positive) and space, placed between
/// two samples by linear interpolation, and remembers the falls to space: the latest, and the
/// first since the value was clearly mark. The CharacterFramer pushes every value.
class TransitionFinder
{
public:
    /// Takes the value at @p nSample; a value above @p fClearMark is clearly mark. True when
    /// the value crossed since the previous one, at Crossing().
    bool Push(int64_t nSample, float fValue, float fClearMark);
    /// Where the latest crossing lies (samples).
    double Crossing() const { return m_dCrossing; }
    /// The latest mark-to-space transition.
    double LastFall() const { return m_dLastFall; }
    /// Where the latest fall lies when noise near its zero crossing made several crossings:
    /// between the first after the value was clearly mark and the last, when that first one
    /// came after @p dAfter; else the last.
    double FallMiddle(double dAfter) const;

private:
    void noteFall(double dCrossing);

    float m_fPrevious = 0.0f;
    double m_dCrossing = 0.0;
    double m_dLastFall = -1e18;
    double m_dFirstFall = -1e18; ///< the first fall since the value was clearly mark
    bool m_bClearMark = false;
};

} // namespace fsk
