#pragma once

#include "tools/cwdemodulator/blockevidence.h"
#include "tools/cwdemodulator/nodelist.h"
#include "tools/cwdemodulator/nodescoretable.h"
#include "tools/cwdemodulator/segmentkind.h"
#include "tools/morsedsp/runningbest.h"

#include <QtGlobal>

#include <string>
#include <vector>

namespace cw {

class SegmentLengthPriors;

/// The CwSegmenter's Viterbi search over segment lengths and Morse characters at once, block
/// boundary by block boundary: per node of the code tree, the best reading that ends in a mark
/// completing the node's code, and in a gap after it that another element follows; shared, the
/// best character ending, a gap that ends a character, and stretches of long silence. Readings
/// that make codes of no expected character cost more. The timing priors weigh the lengths,
/// BlockEvidence the marks. Life: Reset() per run, Push() per boundary, TraceBack() to read
/// the best reading's segments.
class CharacterSearch
{
public:
    /// Elements of the longest character code searched for.
    static constexpr int LONGEST_CODE = 8;
    /// Blocks of the longest gap modelled; longer silence is chained in stretches of it.
    static constexpr int LONGEST_GAP = 8 * BlockEvidence::BLOCKS_PER_UNIT;

    /// A segment of the best reading, in blocks.
    struct Piece
    {
        bool bOn;
        SegmentKind kind;
        qint64 nFirst; ///< first block
        qint64 nEnd;   ///< boundary after the last block
    };

    /// @p characterCodes: the dots and dashes (".-") of the characters expected; empty for the
    /// built-in International alphabet.
    explicit CharacterSearch(const std::vector<std::string>& characterCodes);

    /// Starts afresh at block @p nOrigin, with silence before it.
    void Reset(qint64 nOrigin);
    /// Searches the readings up to the latest boundary of @p blocks, with the length priors
    /// @p priors (normalised: the true likelihood, with no price per character).
    void Push(const BlockEvidence& blocks, const SegmentLengthPriors& priors);
    /// The best score of any reading up to @p nBoundary (searched there last).
    double BestScore(qint64 nBoundary) const;
    /// Appends the best reading up to the latest boundary @p nEnd to @p path, newest first,
    /// back to boundary @p nDecided (the first piece cut there).
    void TraceBack(qint64 nEnd, qint64 nDecided, std::vector<Piece>& path) const;

private:
    static constexpr size_t RING = BlockEvidence::RING;
    /// Blocks a node's scores are kept: they are read back at most a segment before, while
    /// their lengths are read back as far as the traceback goes. Half of the rings of lengths:
    /// the node rows are most of the memory, and a page fault on first use each.
    static constexpr size_t SCORE_RING = 128;
    /// Blocks a node's gap scores are kept: the marks read them back at most a mark before.
    static constexpr size_t GAP_SCORE_RING = 64;
    static constexpr int NODES = 2 << LONGEST_CODE; ///< code tree: node n has children 2n, 2n+1

    static size_t slot(qint64 nBlock) { return size_t(nBlock) & (RING - 1); }
    void searchMarks(const BlockEvidence& blocks, const SegmentLengthPriors& priors);
    void searchMark(int nNode, const BlockEvidence& blocks, const SegmentLengthPriors& priors);
    /// The best of the marks of @p nShortest to @p nLongest blocks (log priors @p pLogPrior by
    /// length) ending at the latest boundary, weighed on their own phase, from the scores
    /// @p pSource of the ring of mask @p nSourceMask: into @p dBest and @p nBestLength if it
    /// beats @p dBest.
    void searchOwnPhase(const double* pSource, size_t nSourceMask, qint64 nShortest,
                        qint64 nLongest, const double* pLogPrior, const BlockEvidence& blocks,
                        double& dBest, qint64& nBestLength);
    void searchElementGaps(qint64 nBoundary, qint64 nOrigin, const SegmentLengthPriors& priors);
    void searchCharacterEnds(qint64 nBoundary, qint64 nOrigin, const SegmentLengthPriors& priors);
    void prune(qint64 nBoundary);

    std::vector<float> m_characterBonus; ///< log prior of ending a character at each node
    NodeScoreTable<RING, SCORE_RING> m_marks{NODES}; ///< marks that end at each node
    /// Gaps after each node's mark that another element follows.
    NodeScoreTable<RING, GAP_SCORE_RING> m_gaps{NODES};
    // Shared states, rings by block boundary.
    std::vector<double> m_endScore; ///< best character ending at the boundary
    std::vector<unsigned short> m_endNode;
    std::vector<double> m_startScore;        ///< a gap ended, a new character may start
    std::vector<unsigned short> m_startFrom; ///< character node before, 0 after long silence
    std::vector<unsigned char> m_startLength;
    std::vector<double> m_longScore;
    /// m_longScore over the longest modelled gap before (more blocks than that gap spans).
    dsp::RunningBest<double> m_longWindow{128};
    std::vector<unsigned short> m_longFrom;
    // The beam.
    NodeList m_markParents{NODES};      ///< nodes whose gap was in the beam lately
    NodeList m_gapNodes{NODES};         ///< nodes whose mark was in the beam lately
    std::vector<double> m_lengthBounds; ///< searchOwnPhase()'s bound of each length
    std::vector<int> m_liveMarks;       ///< nodes whose marks were searched at the latest boundary
    std::vector<int> m_liveGaps;
    double m_liveBest = 0.0; ///< highest score of m_liveMarks' and m_liveGaps', in their order
};

} // namespace cw
