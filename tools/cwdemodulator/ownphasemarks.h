#pragma once

#include "tools/cwdemodulator/restartgridphase.h"

#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace cw {

class BlockEvidence;
class SegmentLengthPriors;

/// Key-down evidence of the marks ending at one block boundary, each weighed on its own phase
/// (log likelihood ratio of a tone of unknown phase), for the BlockEvidence that owns it.
/// Bound() gives every mark length a bound from the blocks' sums alone as the boundary closes;
/// Evidence() weighs a length only when a search asks, since most lengths lose on their bound.
class OwnPhaseMarks
{
public:
    /// Lengths up to @p nLongestMark blocks.
    explicit OwnPhaseMarks(qint64 nLongestMark);

    /// Bounds each mark length of @p priors ending at the latest boundary of @p blocks, whose
    /// blocks are each weighed against their own mark level (the latest's @p dAmplitude) and
    /// the noise measured as they closed, with the restart grid @p grid's prior on the phase
    /// if it has one; keeps what weighing one of them asks.
    void Bound(const BlockEvidence& blocks, const SegmentLengthPriors& priors, double dAmplitude,
               const RestartGridPhase& grid);
    /// By blocks, a bound Evidence() never exceeds.
    const double* BoundByLength() const { return m_bound.data(); }
    /// The evidence of a mark of @p nBlocks ending at @p nBoundary, the latest boundary of
    /// @p blocks, weighed the first time it is asked for there.
    double Evidence(const BlockEvidence& blocks, qint64 nBoundary, qint64 nBlocks) const
    {
        if (m_weighedAt[size_t(nBlocks)] != nBoundary)
            weigh(blocks, nBoundary, nBlocks);
        return m_evidence[size_t(nBlocks)];
    }

private:
    void weigh(const BlockEvidence& blocks, qint64 nBoundary, qint64 nBlocks) const;
    /// Whether a mark of @p nBlocks from @p nFirst weighed in @p nPieces on their own phases
    /// (the sizes of the pieces' sums @p pMagnitudes) may beat its evidence @p dWhole on one
    /// phase.
    bool splitMayWin(const BlockEvidence& blocks, qint64 nFirst, qint64 nBlocks, qint64 nPieces,
                     const double* pMagnitudes, double dWhole) const;

    // As the boundary closed.
    std::vector<double> m_bound;
    std::vector<qint64> m_pieces;  ///< pieces each length may be split in
    double m_dWeight = 1.0;        ///< of the evidence, as the priors ask
    double m_dAmplitude = 0.0;     ///< the latest block's mark level
    double m_dConcentration = 0.0; ///< of the restart grid's prior on the phase
    double m_dPriorNorm = 0.0;     ///< log I0 of it
    RestartGridPhase m_grid;       ///< the grid, if it had a prior

    // Weighed when asked.
    mutable std::vector<double> m_evidence;
    mutable std::vector<qint64> m_weighedAt;       ///< boundary each length was weighed at
    mutable std::uint64_t m_nSpanWeighing = 0;     ///< stamp of the thread's spans weighed
    mutable std::vector<double> m_pieceMagnitudes; ///< of the pieces of the mark being weighed
};

} // namespace cw
