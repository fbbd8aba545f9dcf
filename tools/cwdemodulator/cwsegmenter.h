#pragma once

#include "tools/cwdemodulator/blockevidence.h"
#include "tools/cwdemodulator/charactersearch.h"
#include "tools/cwdemodulator/segmentkind.h"
#include "tools/cwdemodulator/segmentlengthpriors.h"

#include <QtGlobal>

#include <complex>
#include <deque>
#include <string>
#include <vector>

namespace cw {

/// Splits a steady, coherently received CW tone into dots, dashes and gaps by maximum
/// likelihood: a Viterbi search over segment lengths and Morse characters at once, with the
/// in-phase samples as evidence. Morse timing (elements of one or three units, gaps of one,
/// three or seven) is the prior on lengths, and the characters expected are the prior on
/// how elements group: a reading that makes a code no character has costs more, so noise
/// that would drop or add an element has to make a character that exists. Deciding whole
/// segments at once, instead of each threshold crossing, keeps noise from splitting dots or
/// bridging gaps. Works on blocks of an eighth of an element (BlockEvidence gathers them,
/// CharacterSearch searches the readings); decisions are final a fixed number of elements after
/// the fact, as segments of the best reading then.
class CwSegmenter
{
public:
    using Kind = SegmentKind;

    struct Segment
    {
        bool bOn;
        qint64 nStart;  ///< first baseband sample
        qint64 nLength; ///< baseband samples
        float fLevel;   ///< mean in-phase amplitude over the segment
        Kind kind;
        float fAmplitude; ///< mean mark level the samples were weighed against
        /// A mark of a tone restarting on its element grid: its mean amplitude at the phase its
        /// start predicts, over the share of a mark's size that keeps on average (noise has no
        /// favoured phase there); below 0 where the grid is not sure of the phase.
        float fGridLevel = -1.0f;
    };

    /// @p characterCodes: the dots and dashes (".-") of the characters expected, at most
    /// LONGEST_CODE elements each; empty for the built-in International alphabet. Other codes
    /// are still read where the signal leaves no doubt. The samples are weighed in blocks of
    /// about an element over @p nBlocksPerUnit (at most BLOCKS_PER_UNIT; fewer cost less, at a
    /// coarser timing: the search per block grows with the blocks an element spans). Mark and
    /// gap lengths whose log prior is below @p dLeastLikelyLength are not tried (a higher
    /// floor searches fewer lengths: less work, less room for timing far off the element grid).
    explicit CwSegmenter(const std::vector<std::string>& characterCodes = {},
                         int nBlocksPerUnit = BLOCKS_PER_UNIT,
                         double dLeastLikelyLength = LEAST_LIKELY_LENGTH);

    /// Takes the length priors @p other holds now, its blocks per element and the least likely
    /// length it tries: a segmenter
    /// that scores element lengths on behalf of another reads the same priors as the other
    /// would have, and hands them back. Both must expect the same characters.
    void CopyPriorsFrom(const CwSegmenter& other);
    /// Starts afresh at baseband sample @p nPosition (silence assumed before it), with the
    /// in-phase noise variance per sample known so far. @p bScoring: length priors are true
    /// distributions, so that BestScore() compares between element lengths, and no segments
    /// are decided; decoding works better with each kind's peak at the same height.
    void Reset(qint64 nPosition, float fNoiseVariance, bool bScoring = false);
    /// The next baseband sample's in-phase and quadrature parts, with the tracked tone
    /// amplitude and element length (samples).
    void Push(float fInPhase, float fQuadrature, float fAmplitude, double dUnit);
    /// Like Push(), with the noise variance kept as given to Reset(): for comparing how well
    /// element lengths explain the same samples.
    void PushInPhase(float fInPhase, float fAmplitude, double dUnit);
    /// For a tone whose phase does not stay put from one element to the next: @p sample in
    /// any frame that turns slowly against the tone, and its quadrature part against the
    /// phase around it (noise alone, for the noise measure). Each mark is then weighed on
    /// its own phase, the one that fits its whole length best, with the likelihood of an
    /// unknown phase; until the next Reset() or Push().
    void PushOwnPhase(const std::complex<float>& sample, float fQuadrature, float fAmplitude,
                      double dUnit);
    /// For marks weighed on their own phase, of a tone that starts every element at one phase
    /// on a fixed element grid: the samples' frame turns by @p dTurnPerSample (radians)
    /// against the frame in which every mark starts in step (see RestartGridPhase). Each
    /// mark is then weighed with the phase its start predicts as a prior. Until the next
    /// Reset().
    void SetRestartGrid(double dTurnPerSample);
    /// Whether the mark level pushed with the samples follows a level that moves (fading):
    /// while it holds still, decoding weighs each mark a little likelier.
    void SetLevelFollowed(bool bLevelFollowed) { m_priors.SetLevelFollowed(bLevelFollowed); }
    /// The in-phase noise variance per sample, as block sums see it.
    float NoiseVariance() const { return m_blocks.NoiseVariance(); }
    /// Log likelihood of the best segmentation so far (comparable between runs over the
    /// same samples with different element lengths).
    double BestScore() const;
    /// Decides everything still open (end of input or of a transmission).
    void Finish();
    /// The oldest decided segment; false when none is waiting.
    bool TakeSegment(Segment& segment);
    /// True when every decided segment was taken (the last one too, after Finish()).
    bool IsDrained() const { return m_segments.empty(); }

    /// Blocks per element length unless the constructor is told otherwise.
    static constexpr int BLOCKS_PER_UNIT = BlockEvidence::BLOCKS_PER_UNIT;
    /// Elements of the longest character code searched for.
    static constexpr int LONGEST_CODE = CharacterSearch::LONGEST_CODE;
    /// Log prior of the least likely mark or gap length tried unless the constructor is told
    /// otherwise: hand-sent timing far off the grid still has a reading.
    static constexpr double LEAST_LIKELY_LENGTH = -14.0;

private:
    /// Adds a sample to the block being gathered, following the element length at each block's
    /// start; searches each boundary.
    void addSample(const std::complex<float>& sample, float fAmplitude, double dUnit);
    void closeBlock();
    void commit(bool bAll);
    void emit(bool bOn, Kind kind, qint64 nStart, qint64 nEnd);
    /// Segment::fGridLevel of samples summing to @p sum over @p nSamples, of a mark that started
    /// at sample @p nMarkStart.
    float gridLevelOf(std::complex<double> sum, qint64 nMarkStart, qint64 nSamples) const;

    SegmentLengthPriors m_priors;
    BlockEvidence m_blocks;
    CharacterSearch m_search;
    qint64 m_nCommitted = 0; ///< blocks decided and handed out
    std::deque<Segment> m_segments;
    std::vector<CharacterSearch::Piece> m_path; ///< the best reading, newest first
};

} // namespace cw
