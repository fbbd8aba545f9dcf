#pragma once

#include "tools/cwdemodulator/blocknoise.h"
#include "tools/cwdemodulator/nodelist.h"
#include "tools/cwdemodulator/nodescoretable.h"
#include "tools/cwdemodulator/restartgridphase.h"
#include "tools/cwdemodulator/segmentlengthpriors.h"
#include "tools/morsedsp/runningbest.h"

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
/// bridging gaps. Works on blocks of an eighth of an element; decisions are final a fixed
/// number of elements after the fact.
class CwSegmenter
{
public:
    /// What a segment is in its character.
    enum class Kind : unsigned char
    {
        Dot,
        Dash,
        ElementGap,   ///< between two elements of one character
        CharacterGap, ///< after the last element of a character (or longer silence)
    };

    struct Segment
    {
        bool bOn;
        qint64 nStart;  ///< first baseband sample
        qint64 nLength; ///< baseband samples
        float fLevel;   ///< mean in-phase amplitude over the segment
        Kind kind;
        float fAmplitude; ///< mean mark level the samples were weighed against
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
    void PushOwnPhase(std::complex<float> sample, float fQuadrature, float fAmplitude,
                      double dUnit);
    /// For marks weighed on their own phase, of a tone that starts every element at one phase
    /// on a fixed element grid: the samples' frame turns by @p dTurnPerSample (radians)
    /// against the frame in which every mark starts in step (see RestartGridPhase). Each
    /// mark is then weighed with the phase its start predicts as a prior. Until the next
    /// Reset().
    void SetRestartGrid(double dTurnPerSample);
    /// The in-phase noise variance per sample, as block sums see it.
    float NoiseVariance() const { return m_noise.Variance(); }
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
    static constexpr int BLOCKS_PER_UNIT = 8;
    /// Elements of the longest character code searched for.
    static constexpr int LONGEST_CODE = 8;
    /// Log prior of the least likely mark or gap length tried unless the constructor is told
    /// otherwise: hand-sent timing far off the grid still has a reading.
    static constexpr double LEAST_LIKELY_LENGTH = -14.0;

private:
    void closeBlock();
    void addSample(std::complex<float> sample, float fAmplitude, double dUnit);
    /// Key-down evidence of each mark length ending at @p nBoundary, on the mark's own phase.
    void weighOwnPhaseMarks(qint64 nBoundary);
    /// Whether a mark of @p nBlocks from @p nFirst weighed in @p nPieces on their own phases
    /// may beat its evidence @p dWhole on one phase.
    bool splitMayWin(qint64 nFirst, qint64 nBlocks, qint64 nPieces, double dWhole) const;
    /// The summed samples of the blocks from @p nFirst up to @p nLast.
    std::complex<double> sumBetween(qint64 nFirst, qint64 nLast) const;
    /// The size of a mark's summed samples on its own phase, the noise's share taken out.
    double ownPhaseMagnitude(std::complex<double> sum, qint64 nSamples) const;
    void searchMarks(qint64 nBoundary);
    void searchMark(int nNode, qint64 nBoundary);
    void searchElementGaps(qint64 nBoundary);
    void searchCharacterEnds(qint64 nBoundary);
    void prune(qint64 nBoundary);
    /// The best score of any state at @p nBoundary (searched there last).
    double bestScoreAt(qint64 nBoundary) const;
    void commit(bool bAll);
    void emit(bool bOn, Kind kind, qint64 nStart, qint64 nEnd);
    size_t slot(qint64 nBlock) const { return size_t(nBlock) & (RING - 1); }
    qint64 blockStart(qint64 nBlock) const { return m_blockStarts[slot(nBlock)]; }

    static constexpr size_t RING = 256; ///< blocks kept: the lag, a commit interval, a segment
    /// Blocks a node's scores are kept: they are read back at most a segment before, while
    /// their lengths are read back as far as the traceback goes. Half of the rings of lengths:
    /// the node rows are most of the memory, and a page fault on first use each.
    static constexpr size_t SCORE_RING = 128;
    static constexpr int NODES = 2 << LONGEST_CODE; ///< code tree: node n has children 2n, 2n+1

    std::vector<float> m_characterBonus; ///< log prior of ending a character at each node
    SegmentLengthPriors m_priors;

    // Block being gathered.
    qint64 m_nPosition = 0; ///< next baseband sample
    int m_nBlockLength = 1;
    int m_nBlocksPerUnit; ///< blocks an element length is cut into
    int m_nInBlock = 0;
    std::complex<double> m_blockSum;
    float m_fAmplitude = 0.0f;
    BlockNoise m_noise;
    bool m_bOwnPhase = false; ///< each mark is weighed on its own phase
    RestartGridPhase m_grid;

    // Viterbi state over blocks, rings indexed by block number. Per code-tree node: a mark
    // that ends there, and a gap after it that another element follows. Shared: a gap that
    // ends a character (then a new one starts), and whole stretches of long silence.
    qint64 m_nOrigin = 0;             ///< block number of the last Reset()
    qint64 m_nBlocks = 0;             ///< block number of the latest boundary
    std::vector<double> m_cumulative; ///< running sum of the blocks' key-down evidence
    std::vector<std::complex<double>> m_sampleSums;  ///< running sum of the samples
    std::vector<double> m_amplitudeSums;             ///< running sum of the mark level, by sample
    std::vector<double> m_ownPhaseEvidence;          ///< by mark length, at this boundary
    NodeScoreTable<RING, SCORE_RING> m_marks{NODES}; ///< marks that end at each node
    /// Gaps after each node's mark that another element follows.
    NodeScoreTable<RING, SCORE_RING> m_gaps{NODES};
    std::vector<double> m_endScore; ///< best character ending at the boundary
    std::vector<unsigned short> m_endNode;
    std::vector<double> m_startScore;        ///< a gap ended, a new character may start
    std::vector<unsigned short> m_startFrom; ///< character node before, 0 after long silence
    std::vector<unsigned char> m_startLength;
    std::vector<double> m_longScore;
    /// m_longScore over the longest modelled gap before (more blocks than that gap spans).
    dsp::RunningBest<double> m_longWindow{128};
    std::vector<unsigned short> m_longFrom;
    std::vector<qint64> m_blockStarts;
    std::vector<std::complex<double>> m_blockRotations; ///< m_grid.Rotation() of each start
    NodeList m_markParents{NODES};                      ///< nodes whose gap was in the beam lately
    NodeList m_gapNodes{NODES};                         ///< nodes whose mark was in the beam lately
    std::vector<int> m_liveMarks; ///< nodes whose marks were searched at this boundary
    std::vector<int> m_liveGaps;

    qint64 m_nCommitted = 0; ///< blocks decided and handed out
    std::deque<Segment> m_segments;
    std::vector<Segment> m_scratch;
};

} // namespace cw
