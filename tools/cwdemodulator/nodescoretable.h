#pragma once

#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace cw {

/// One kind of the CwSegmenter's per-node Viterbi states (a mark that ends at a code-tree
/// node, or a gap after it): per node, rings by block boundary of the best score and of the
/// length that reached it, the last boundary a score was set at, and the last boundary each
/// node was in the beam. Scores are kept SCORE_RING boundaries (they are read back at most a
/// segment before), lengths LENGTH_RING (as far as the traceback goes).
///
/// Between the first boundary a node's score was set at since it was last out of reach and
/// the last, a boundary it was not searched at holds UNSET, which no sum with a number beats:
/// the search loops read the ring between the two as it is, with no test on each slot. The rings
/// are most of the segmenter's memory, and a transmission reaches few of the nodes: each node gets
/// the next free row when its first score is set. The rows in use stay side by side, so that they
/// share pages: a row of lengths is a sixteenth of a page, and rows by node number scattered the
/// few nodes reached over a page each, every page a fault on its first use.
template <size_t LENGTH_RING, size_t SCORE_RING> class NodeScoreTable
{
public:
    /// The last boundary of a node never set, or never in the beam.
    static constexpr qint64 NEVER = -(qint64(1) << 40);
    /// The score of a boundary the node was not searched at.
    static constexpr double UNSET = -std::numeric_limits<double>::infinity();

    explicit NodeScoreTable(int nNodes)
        : m_score(new double[size_t(nNodes) * SCORE_RING]),
          m_length(new unsigned char[size_t(nNodes) * LENGTH_RING]), m_row(size_t(nNodes), NO_ROW),
          m_lastSet(size_t(nNodes), NEVER), m_firstSet(size_t(nNodes), NEVER),
          m_alive(size_t(nNodes), NEVER)
    {
    }

    /// Sets @p nNode's best score at @p nBoundary (no earlier than the last it was set at) and
    /// the length that reached it; the boundaries since the last become UNSET.
    void Set(int nNode, qint64 nBoundary, double dScore, qint64 nLength)
    {
        qint64& lastSet = m_lastSet[size_t(nNode)];
        if (m_row[size_t(nNode)] == NO_ROW)
            m_row[size_t(nNode)] = m_nRowsUsed++;
        double* scores = m_score.get() + scoreRow(nNode);
        const size_t slot = ScoreSlot(nBoundary);
        if (nBoundary - lastSet >= qint64(SCORE_RING)) {
            // A row taken now, or not set for a whole ring, holds no score of use: none
            // before this one is read.
            m_firstSet[size_t(nNode)] = nBoundary;
        } else if (nBoundary - lastSet > 1) {
            const size_t from = ScoreSlot(lastSet + 1);
            std::fill(scores + from, scores + (from < slot ? slot : SCORE_RING), UNSET);
            if (from > slot)
                std::fill(scores, scores + slot, UNSET);
        }
        scores[slot] = dScore;
        lastSet = nBoundary;
        m_length[lengthRow(nNode) + (size_t(nBoundary) & (LENGTH_RING - 1))] =
            (unsigned char)nLength;
    }
    /// @p nNode's score at @p nBoundary, which it was set at.
    double Score(int nNode, qint64 nBoundary) const
    {
        return m_score[scoreRow(nNode) + ScoreSlot(nBoundary)];
    }
    /// The length that reached @p nNode's state at @p nBoundary, which it was set at.
    unsigned char Length(int nNode, qint64 nBoundary) const
    {
        return m_length[lengthRow(nNode) + (size_t(nBoundary) & (LENGTH_RING - 1))];
    }
    /// @p nNode's ring of scores by ScoreSlot(), for the search loops: each boundary from
    /// FirstSet(), or SCORE_RING - 1 before LastSet() if later, to LastSet() holds the score
    /// set there, or UNSET. The node must have had a score set.
    const double* Scores(int nNode) const { return m_score.get() + scoreRow(nNode); }
    /// The last boundary @p nNode's score was set at (NEVER before), and the first since the
    /// ring last held none; no score outside them is to be read.
    qint64 LastSet(int nNode) const { return m_lastSet[size_t(nNode)]; }
    qint64 FirstSet(int nNode) const { return m_firstSet[size_t(nNode)]; }
    static size_t ScoreSlot(qint64 nBoundary) { return size_t(nBoundary) & (SCORE_RING - 1); }

    /// The last boundary each node was in the beam, by node.
    const std::vector<qint64>& Alive() const { return m_alive; }
    qint64 Alive(int nNode) const { return m_alive[size_t(nNode)]; }
    void SetAlive(int nNode, qint64 nBoundary) { m_alive[size_t(nNode)] = nBoundary; }
    /// No node was in the beam: a new run. The scores stay: a row is read back no further
    /// than its last Set(), and a new run's boundaries come after all of the run before.
    void ForgetAlive() { std::fill(m_alive.begin(), m_alive.end(), NEVER); }

private:
    static constexpr int NO_ROW = -1;

    size_t scoreRow(int nNode) const { return size_t(m_row[size_t(nNode)]) * SCORE_RING; }
    size_t lengthRow(int nNode) const { return size_t(m_row[size_t(nNode)]) * LENGTH_RING; }
    std::unique_ptr<double[]> m_score;
    std::unique_ptr<unsigned char[]> m_length;
    std::vector<int> m_row; ///< row of each node in the rings, NO_ROW before use
    int m_nRowsUsed = 0;
    std::vector<qint64> m_lastSet;
    std::vector<qint64> m_firstSet;
    std::vector<qint64> m_alive;
};

} // namespace cw
