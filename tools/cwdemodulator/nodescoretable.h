#pragma once

#include <QtGlobal>

#include <algorithm>
#include <memory>
#include <vector>

namespace cw {

/// One kind of the CwSegmenter's per-node Viterbi states (a mark that ends at a code-tree
/// node, or a gap after it): per node, rings by block boundary of the best score, stamped with
/// the boundary it was computed at, and of the length that reached it; and the last boundary
/// each node was in the beam. Scores are kept SCORE_RING boundaries (they are read back at
/// most a segment before), lengths LENGTH_RING (as far as the traceback goes).
///
/// The rings are most of the segmenter's memory, and a transmission reaches few of the
/// nodes: each node gets the next free row when its first score is set, and only then are
/// its stamps filled. The rows in use stay side by side, so that they share pages: a row of
/// lengths is a sixteenth of a page, and rows by node number scattered the few nodes reached
/// over a page each, every page a fault on its first use.
template <size_t LENGTH_RING, size_t SCORE_RING> class NodeScoreTable
{
public:
    /// The stamp of a slot never computed, and the last boundary of a node never in the beam.
    static constexpr qint64 NEVER = -(qint64(1) << 40);

    explicit NodeScoreTable(int nNodes)
        : m_score(new double[size_t(nNodes) * SCORE_RING]),
          m_length(new unsigned char[size_t(nNodes) * LENGTH_RING]),
          m_stamp(new qint64[size_t(nNodes) * SCORE_RING]), m_row(size_t(nNodes), NO_ROW),
          m_alive(size_t(nNodes), NEVER)
    {
    }

    /// Sets @p nNode's best score at @p nBoundary and the length that reached it.
    void Set(int nNode, qint64 nBoundary, double dScore, qint64 nLength)
    {
        giveRow(nNode);
        const size_t e = scoreRow(nNode) + ScoreSlot(nBoundary);
        m_score[e] = dScore;
        m_stamp[e] = nBoundary;
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
    /// @p nNode's ring of scores and of their stamps, by ScoreSlot(): for the search loops.
    /// The node must have had a score set.
    const double* Scores(int nNode) const { return m_score.get() + scoreRow(nNode); }
    const qint64* Stamps(int nNode) const { return m_stamp.get() + scoreRow(nNode); }
    static size_t ScoreSlot(qint64 nBoundary) { return size_t(nBoundary) & (SCORE_RING - 1); }

    /// The last boundary each node was in the beam, by node.
    const std::vector<qint64>& Alive() const { return m_alive; }
    qint64 Alive(int nNode) const { return m_alive[size_t(nNode)]; }
    void SetAlive(int nNode, qint64 nBoundary) { m_alive[size_t(nNode)] = nBoundary; }
    /// No node was in the beam: a new run. The scores stay; their stamps tell them apart.
    void ForgetAlive() { std::fill(m_alive.begin(), m_alive.end(), NEVER); }

private:
    static constexpr int NO_ROW = -1;

    size_t scoreRow(int nNode) const { return size_t(m_row[size_t(nNode)]) * SCORE_RING; }
    size_t lengthRow(int nNode) const { return size_t(m_row[size_t(nNode)]) * LENGTH_RING; }
    /// Gives @p nNode the next free row and marks it as never computed, on first use.
    void giveRow(int nNode)
    {
        if (m_row[size_t(nNode)] != NO_ROW)
            return;
        m_row[size_t(nNode)] = m_nRowsUsed++;
        // Only the stamps need values: a score or length is read only where its stamp says it
        // was written (or at the boundary just searched), so filling those too was work and
        // page faults for nothing.
        qint64* stamps = m_stamp.get() + scoreRow(nNode);
        std::fill(stamps, stamps + SCORE_RING, NEVER);
    }

    std::unique_ptr<double[]> m_score;
    std::unique_ptr<unsigned char[]> m_length;
    std::unique_ptr<qint64[]> m_stamp; ///< boundary each score slot was computed at
    std::vector<int> m_row;            ///< row of each node in the rings, NO_ROW before use
    int m_nRowsUsed = 0;
    std::vector<qint64> m_alive;
};

} // namespace cw
