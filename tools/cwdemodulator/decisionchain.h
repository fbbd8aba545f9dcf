#pragma once

#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/lonedotfilter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cw {

class LeakageWatch;

/// The decisions of a tracked transmission, from the weighed samples to the symbol codes: the
/// segmenter decides the marks and gaps by maximum likelihood, the lone-dot filter drops weak
/// dots that stand alone, and the classifier turns what passes into codes for its listener.
/// Marks decided where only a neighbour's leakage was heard are dropped on the way.
///
/// Life: create once; Start() at each transmission, then per sample the level follower
/// pushes into Segmenter() and Drain() hands on what was decided; Finish() at its end.
class DecisionChain
{
public:
    /// @p nStepsPerElement and @p dLeastLikelyLength as CwSegmenter takes them; the
    /// classifier's codes go to @p pListener.
    DecisionChain(const CwTimingTracker::Settings& settings,
                  const std::vector<std::string>& characterCodes, int nStepsPerElement,
                  double dLeastLikelyLength, CwTimingTracker::IListener* pListener);

    /// Starts the segmenter at @p nSegmentStart with @p fNoiseVariance, and the classifier at
    /// the acquired @p dUnit and @p fMarkLevel at @p nClassifierStart, the character gaps the
    /// acquisition heard (@p characterGaps, in samples) as its first.
    void Start(std::int64_t nSegmentStart, float fNoiseVariance, double dUnit, float fMarkLevel,
               std::int64_t nClassifierStart, const std::vector<std::int64_t>& characterGaps);
    /// Hands the segments decided so far on to the classifier; @p bLevelFollowed: the level
    /// the marks are weighed against follows a level that moves.
    void Drain(bool bLevelFollowed, const LeakageWatch& leakage);
    /// The transmission ended: the last segments are decided and classified.
    void Finish(bool bLevelFollowed, const LeakageWatch& leakage);

    /// The acquisition learns on the segmenter, the level follower feeds it.
    CwSegmenter& Segmenter() { return m_segmenter; }
    const CwSegmenter& Segmenter() const { return m_segmenter; }
    /// Where the last mark the segmenter decided (of the wanted signal) ended; the start
    /// given to Start() before the first.
    std::int64_t LastMarkEnd() const { return m_nLastMarkEnd; }
    /// The element length and mark level the classifier follows.
    double Unit() const { return m_classifier.Unit(); }
    float MarkLevel() const { return m_classifier.MarkLevel(); }

private:
    void drain(bool bLevelFollowed, const LeakageWatch& leakage, bool bEnd);
    /// The last gap of a transmission, shorter than a character gap: the end cut it short.
    bool isCutByEnd(const CwSegmenter::Segment& segment) const;

    CwSegmenter m_segmenter;
    LoneDotFilter m_loneDots; ///< between the segmenter and the classifier
    CwTimingTracker m_classifier;
    std::int64_t m_nLastMarkEnd = 0;
};

} // namespace cw
