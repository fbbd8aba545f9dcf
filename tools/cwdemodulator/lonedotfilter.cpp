#include "tools/cwdemodulator/lonedotfilter.h"

#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/leakagewatch.h"

#include <algorithm>

namespace cw {

namespace {

constexpr double LONE_GAP_UNITS = 2.0; ///< silence around a character
constexpr double LONE_DOT_UNITS = 2.0; ///< a mark shorter than this is a dot
constexpr double WORD_GAP_UNITS = 5.0; ///< silence longer than a character gap
constexpr double LONE_DOT_LEVEL = 0.6; ///< share of the mark level a lone dot must reach
/// Silence on both sides, longer than a word gap, that sets a dot apart from any text.
constexpr double ISOLATED_GAP_UNITS = 10.0;
/// Share of the mark level a dot set apart must reach while a stronger neighbour keys.
constexpr double ISOLATED_DOT_LEVEL = 0.8;

} // namespace

void LoneDotFilter::Reset()
{
    m_bMarkPending = false;
    m_dGapBefore = LONE_GAP_UNITS;
}

void LoneDotFilter::Push(const CwSegmenter::Segment& segment, CwTimingTracker& classifier,
                         const LeakageWatch& leakage)
{
    const double unit = classifier.Unit();
    if (segment.bOn) {
        if (m_bMarkPending)
            classifier.PushSegment(m_pendingMark);
        m_pendingMark = segment;
        m_bMarkPending = true;
        return;
    }
    if (m_bMarkPending) {
        m_bMarkPending = false;
        if (!isLoneWeakDot(double(segment.nLength) / unit, classifier, leakage))
            classifier.PushSegment(m_pendingMark);
    }
    m_dGapBefore = double(segment.nLength) / unit;
    classifier.PushSegment(segment);
}

void LoneDotFilter::Finish(CwTimingTracker& classifier, const LeakageWatch& leakage)
{
    if (!m_bMarkPending)
        return;
    m_bMarkPending = false;
    if (!isLoneWeakDot(ISOLATED_GAP_UNITS, classifier, leakage))
        classifier.PushSegment(m_pendingMark);
}

float LoneDotFilter::markLevelOf(const CwSegmenter::Segment& mark)
{
    // A dot of a tone restarting on its grid is judged at the phase its start predicts, as a
    // steady tone's in phase: noise read as a dot has no favoured phase there, while on its
    // own phase it looked as strong as a weak dot (a dot read into a word gap passed as an E).
    return mark.fGridLevel >= 0.0f ? mark.fGridLevel : mark.fLevel;
}

bool LoneDotFilter::isLoneWeakDot(double dGapAfterUnits, const CwTimingTracker& classifier,
                                  const LeakageWatch& leakage) const
{
    const double unit = classifier.Unit();
    // A stronger neighbour's key clicks leak in as dots set apart by long silences, a little
    // weaker than our marks (after the wanted signal ended, or in its pauses): such a dot
    // must be nearly as strong as our marks.
    const float markLevel = classifier.MarkLevel();
    const bool isolated = leakage.NeighbourKeys(markLevel) && m_dGapBefore >= ISOLATED_GAP_UNITS &&
                          dGapAfterUnits >= ISOLATED_GAP_UNITS;
    const double level = isolated ? ISOLATED_DOT_LEVEL : LONE_DOT_LEVEL;
    // Within a word (a character gap on one side) of a transmission whose level is followed, a
    // dot is judged against the level its samples were weighed against: that is the level of
    // the marks around it, and an E at a fade's bottom is no longer dropped. A dot between
    // word gaps, as after the signal ended, is judged against the classifier's level: there
    // the followed level sinks towards the noise, whose peaks would pass as E's. So is any
    // dot of a steady signal: near the noise floor its weighed level is the tracker's, below
    // the classifier's, and noise dots in word gaps passed as E's.
    const bool withinWord =
        m_bLevelFollowed && (m_dGapBefore < WORD_GAP_UNITS || dGapAfterUnits < WORD_GAP_UNITS);
    const float against = withinWord ? std::min(markLevel, m_pendingMark.fAmplitude) : markLevel;
    return m_dGapBefore >= LONE_GAP_UNITS && dGapAfterUnits >= LONE_GAP_UNITS &&
           double(m_pendingMark.nLength) < LONE_DOT_UNITS * unit &&
           markLevelOf(m_pendingMark) < level * against;
}

} // namespace cw
