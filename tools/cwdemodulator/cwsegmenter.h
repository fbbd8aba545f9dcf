#pragma once

#include <QtGlobal>

#include <deque>
#include <vector>

namespace cw {

/// Splits a steady, coherently received CW tone into key-down and key-up segments by
/// maximum likelihood: a Viterbi search over segment lengths, with the in-phase samples as
/// evidence and Morse timing (marks of one or three elements, gaps of one, three or seven)
/// as the prior on lengths. Deciding whole segments at once, instead of each threshold
/// crossing, keeps noise from splitting dots or bridging gaps. Works on blocks of an eighth
/// of an element; decisions are final a fixed number of elements after the fact.
class CwSegmenter
{
public:
    struct Segment
    {
        bool bOn;
        qint64 nStart;  ///< first baseband sample
        qint64 nLength; ///< baseband samples
        float fLevel;   ///< mean in-phase amplitude over the segment
    };

    CwSegmenter();

    /// Starts afresh at baseband sample @p nPosition (silence assumed before it), with the
    /// in-phase noise variance per sample known so far. @p bScoring: length priors are true
    /// distributions, so that BestScore() compares between element lengths; decoding works
    /// better with each mixture's peak at the same height.
    void Reset(qint64 nPosition, float fNoiseVariance, bool bScoring = false);
    /// The next baseband sample's in-phase and quadrature parts, with the tracked tone
    /// amplitude and element length (samples).
    void Push(float fInPhase, float fQuadrature, float fAmplitude, double dUnit);
    /// Like Push(), with the noise variance kept as given to Reset(): for comparing how well
    /// element lengths explain the same samples.
    void PushInPhase(float fInPhase, float fAmplitude, double dUnit);
    /// Log likelihood of the best segmentation so far (comparable between runs over the
    /// same samples with different element lengths).
    double BestScore() const;
    /// Decides everything still open (end of input or of a transmission).
    void Flush();
    /// The oldest decided segment; false when none is waiting.
    bool TakeSegment(Segment& segment);

    static constexpr int BLOCKS_PER_UNIT = 8;

private:
    enum State : unsigned char
    {
        ON = 0,
        OFF = 1,      ///< a gap shorter than the longest modelled
        OFF_LONG = 2, ///< a stretch of silence of the longest modelled length
    };
    struct Step
    {
        unsigned char from[3];    ///< predecessor state of each state's best path
        unsigned short length[3]; ///< its last segment's length, blocks
    };

    void setPriors(double dBlocksPerUnit);
    void closeBlock();
    void commit(bool bAll);
    qint64 blockStart(qint64 nBlock) const;

    std::vector<float> m_onPrior;  ///< log prior of a mark of d blocks
    std::vector<float> m_offPrior; ///< log prior of a gap of d blocks
    float m_fLongPrior = 0.0f;
    double m_dPriorBlocksPerUnit = 0.0;
    bool m_bNormalisedPriors = false;

    // Block being gathered.
    qint64 m_nPosition = 0; ///< next baseband sample
    int m_nBlockLength = 1;
    int m_nInBlock = 0;
    double m_dBlockSum = 0.0;
    float m_fAmplitude = 0.0f;
    float m_fNoise = 0.0f; ///< in-phase noise variance per sample (from the quadrature part)
    bool m_bNoiseKnown = false;

    // Viterbi state over blocks; rings indexed by block number.
    qint64 m_nBlocks = 0; ///< blocks closed so far
    qint64 m_nFirstBlock = 0;
    std::vector<double> m_cumulative; ///< running sum of the blocks' key-down evidence
    std::vector<double> m_score[3];
    std::vector<Step> m_steps;
    std::vector<qint64> m_blockStarts;
    std::vector<double> m_blockSums; ///< in-phase sum of each block (for levels)
    size_t m_nRing = 0;

    qint64 m_nCommitted = 0; ///< blocks decided and handed out
    std::deque<Segment> m_segments;
    std::vector<Segment> m_scratch;
};

} // namespace cw
