#pragma once

#include "tools/cwdemodulator/blocknoise.h"
#include "tools/cwdemodulator/ownphasemarks.h"
#include "tools/cwdemodulator/restartgridphase.h"

#include <QtGlobal>

#include <complex>
#include <vector>

namespace cw {

class SegmentLengthPriors;

/// The CwSegmenter's evidence, gathered in blocks of about an element over a few baseband
/// samples: the in-phase noise measured on the block sums, and rings by block boundary of the
/// running sums of key-down evidence (log likelihood ratio on a fixed phase), of the samples
/// and of the mark level they were weighed against (with the samples and their sizes times
/// that level, and its square, for marks on their own phase), with each block's first
/// sample. For marks weighed on their own phase, the evidence of each mark length ending at
/// the latest boundary.
/// Life: Reset() per run, then per sample StartBlock() between blocks, Add(), and CloseBlock()
/// once Add() completes a block; a partial block at the end is closed as well.
class BlockEvidence
{
public:
    /// Blocks per element length unless told otherwise.
    static constexpr int BLOCKS_PER_UNIT = 8;
    /// Blocks of the longest mark weighed; longer marks are split.
    static constexpr int LONGEST_MARK = 6 * BLOCKS_PER_UNIT;
    /// Blocks kept: what a decision reads back (the lag, a commit interval, a segment).
    static constexpr size_t RING = 256;

    /// @p nBlocksPerUnit: blocks an element length is cut into, at most BLOCKS_PER_UNIT.
    explicit BlockEvidence(int nBlocksPerUnit);

    int BlocksPerUnit() const { return m_nBlocksPerUnit; }
    void SetBlocksPerUnit(int nBlocksPerUnit) { m_nBlocksPerUnit = nBlocksPerUnit; }

    /// Starts afresh at baseband sample @p nPosition with noise variance @p fNoiseVariance
    /// per sample (0: unknown). Block numbers go on past anything the rings still hold, so that
    /// nothing stored in an earlier run is read as this run's.
    void Reset(qint64 nPosition, float fNoiseVariance);
    /// For marks weighed on their own phase of a tone that restarts on an element grid (see
    /// RestartGridPhase): the samples' frame turns by @p dTurnPerSample against the grid's.
    void SetRestartGrid(double dTurnPerSample);

    /// No sample of the next block came yet.
    bool IsBetweenBlocks() const { return m_nInBlock == 0; }
    /// Cuts the next block to a whole number of samples near an element of @p dUnit samples
    /// over the blocks per unit; returns the blocks per element that length makes.
    double StartBlock(double dUnit);
    /// The quadrature part of the block's next sample, noise alone: it measures the noise.
    void MeasureNoise(float fQuadrature) { m_noise.AddQuadrature(fQuadrature); }
    /// Whether the marks ending at the next boundaries are weighed on their own phase.
    void WeighOnOwnPhase(bool bOwnPhase) { m_bOwnPhase = bOwnPhase; }
    /// Adds the block's next sample with the mark level to weigh it against; true when the
    /// block is complete.
    bool Add(std::complex<float> sample, float fAmplitude)
    {
        m_fAmplitude = fAmplitude;
        m_blockSum += std::complex<double>(sample.real(), sample.imag());
        ++m_nPosition;
        return ++m_nInBlock == m_nBlockLength;
    }
    /// Ends the block (complete or not): the next boundary. @p priors give the mark lengths
    /// worth weighing on their own phase, and whether the evidence is the true likelihood
    /// (normalised priors) or weighed against the priors for decoding.
    void CloseBlock(const SegmentLengthPriors& priors);

    /// Block number of the last Reset() and of the latest boundary.
    qint64 Origin() const { return m_nOrigin; }
    qint64 Latest() const { return m_nLatest; }
    /// Key-down evidence of the blocks from the origin up to @p nBoundary.
    double EvidenceTo(qint64 nBoundary) const { return m_cumulative[slot(nBoundary)]; }
    /// Whether marks are weighed on their own phase (as the latest sample was pushed), and
    /// then the evidence of a mark of @p nBlocks ending at the latest boundary, weighed when
    /// first asked for (most lengths are not: see OwnPhaseBoundByLength()).
    bool IsOwnPhase() const { return m_bOwnPhase; }
    double OwnPhaseEvidence(qint64 nBlocks) const
    {
        return m_ownPhase.Evidence(*this, m_nLatest, nBlocks);
    }
    /// The ring of EvidenceTo() by slot of boundary (RING slots), for the search loops; and by
    /// blocks, a bound OwnPhaseEvidence() never exceeds, from the sizes of the blocks' sums
    /// alone (no logarithm): a search need not weigh a length whose bound already loses.
    const double* EvidenceRing() const { return m_cumulative.data(); }
    const double* OwnPhaseBoundByLength() const { return m_ownPhase.BoundByLength(); }
    /// The summed samples of the blocks from @p nFirst up to @p nLast.
    std::complex<double> SumBetween(qint64 nFirst, qint64 nLast) const
    {
        return m_sampleSums[slot(nLast)] - m_sampleSums[slot(nFirst)];
    }
    /// The mark level summed over the samples of the blocks from @p nFirst up to @p nLast.
    double AmplitudeBetween(qint64 nFirst, qint64 nLast) const
    {
        return m_amplitudeSums[slot(nLast)] - m_amplitudeSums[slot(nFirst)];
    }
    /// The blocks' sums, each times the mark level its block was weighed against over the noise
    /// variance as it closed, summed over the blocks from @p nFirst up to @p nLast: what a mark
    /// of a level that moves (a fade followed) is weighed on, on its own phase.
    std::complex<double> WeighedSumBetween(qint64 nFirst, qint64 nLast) const
    {
        return m_weighedSums[slot(nLast)] - m_weighedSums[slot(nFirst)];
    }
    /// The square of the mark level summed over the samples of the blocks from @p nFirst up
    /// to @p nLast, each block's over its noise variance: a mark's power to noise there.
    double MarkPowerBetween(qint64 nFirst, qint64 nLast) const
    {
        return m_markPowers[slot(nLast)] - m_markPowers[slot(nFirst)];
    }
    /// The sizes of the blocks' sums, each times its mark level over its noise variance, added
    /// up from the origin to @p nBoundary (as far back as the ring reaches, differences of two
    /// of them).
    double WeighedMagnitudesTo(qint64 nBoundary) const
    {
        return m_weighedMagnitudeSums[slot(nBoundary)];
    }
    /// The restart grid's turn of the samples' frame at the block after @p nBoundary.
    std::complex<double> RotationAt(qint64 nBoundary) const
    {
        return m_blockRotations[slot(nBoundary)];
    }
    /// First baseband sample of the block after @p nBoundary.
    qint64 BlockStart(qint64 nBoundary) const { return m_blockStarts[slot(nBoundary)]; }
    float NoiseVariance() const { return m_noise.Variance(); }
    /// The size of a mark's summed samples @p sum over @p nSamples on its own phase, the
    /// noise's share taken out.
    double OwnPhaseMagnitude(std::complex<double> sum, qint64 nSamples) const;
    /// The phase the restart grid predicts for a mark starting at sample @p nStart, as a phasor
    /// whose length is one over the share of a mark's size its projection keeps on average;
    /// 0 unless the grid is sure of it (RestartGridPhase::IsSure()).
    std::complex<double> GridPhase(qint64 nStart) const;
    /// A mark decided with summed samples @p sum from sample @p nStart, for the restart grid.
    void LearnMark(std::complex<double> sum, qint64 nStart) { m_grid.Learn(sum, nStart); }

private:
    /// What the block being closed held, for the noise measure.
    BlockNoise::Content blockContent() const;
    static size_t slot(qint64 nBlock) { return size_t(nBlock) & (RING - 1); }

    // The block being gathered.
    int m_nBlocksPerUnit;
    qint64 m_nPosition = 0; ///< next baseband sample
    int m_nBlockLength = 1;
    int m_nInBlock = 0;
    std::complex<double> m_blockSum;
    float m_fAmplitude = 0.0f;
    BlockNoise m_noise;
    bool m_bOwnPhase = false; ///< each mark is weighed on its own phase
    RestartGridPhase m_grid;

    // Rings by block boundary.
    qint64 m_nOrigin = 0;
    qint64 m_nLatest = 0;
    std::vector<double> m_cumulative;               ///< running sum of the key-down evidence
    std::vector<std::complex<double>> m_sampleSums; ///< running sum of the samples
    // Running sums over the blocks, the weighed ones over each block's noise variance.
    std::vector<std::complex<double>> m_weighedSums; ///< of level times block sum
    std::vector<double> m_weighedMagnitudeSums;      ///< of level times the block sum's size
    std::vector<double> m_amplitudeSums;             ///< of the mark level, by sample
    std::vector<double> m_markPowers;                ///< of the level's square, by sample
    std::vector<qint64> m_blockStarts;
    std::vector<std::complex<double>> m_blockRotations; ///< m_grid.Rotation() of each start
    OwnPhaseMarks m_ownPhase; ///< marks ending at the latest boundary, by length
};

} // namespace cw
