#include "tools/cwdemodulator/blockevidence.h"

#include "tools/cwdemodulator/segmentlengthpriors.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace cw {

namespace {

/// Decoding weighs the evidence at about two fifths of its log likelihood ratio, against the
/// timing priors. The noise is measured on block sums, and the channel filter correlates
/// neighbouring blocks: a sum an element long varies about twice as much per sample as the
/// blocks say. And the priors' spread allows for hand-sent timing, which makes them too
/// lenient for machine-sent keying and lets noise move edges off the element grid. Tuned on
/// the error-rate benchmark near the noise floor, on both generators' recordings (with and
/// without jitter; 4/7 before the noise was looked at); scoring keeps the true likelihood.
constexpr double EVIDENCE_WEIGHT = 1.0 / 2.45;

} // namespace

BlockEvidence::BlockEvidence(int nBlocksPerUnit)
    : m_nBlocksPerUnit(std::clamp(nBlocksPerUnit, 1, BLOCKS_PER_UNIT)), m_cumulative(RING, 0.0),
      m_sampleSums(RING, 0.0), m_weighedSums(RING, 0.0), m_weighedMagnitudeSums(RING, 0.0),
      m_amplitudeSums(RING, 0.0), m_markPowers(RING, 0.0), m_blockStarts(RING, 0),
      m_blockRotations(RING, 1.0), m_ownPhase(LONGEST_MARK)
{
}

void BlockEvidence::Reset(qint64 nPosition, float fNoiseVariance)
{
    m_noise.Reset(fNoiseVariance);
    m_nPosition = nPosition;
    m_nInBlock = 0;
    m_blockSum = 0.0;
    m_bOwnPhase = false;
    m_nOrigin = m_nLatest + qint64(RING);
    m_nLatest = m_nOrigin;
    const size_t first = slot(m_nOrigin);
    m_cumulative[first] = 0.0;
    m_sampleSums[first] = 0.0;
    m_weighedSums[first] = 0.0;
    m_weighedMagnitudeSums[first] = 0.0;
    m_amplitudeSums[first] = 0.0;
    m_markPowers[first] = 0.0;
    m_blockStarts[first] = nPosition;
    m_grid.Stop();
}

void BlockEvidence::SetRestartGrid(double dTurnPerSample)
{
    m_grid.Start(dTurnPerSample, m_nPosition);
    m_blockRotations[slot(m_nLatest)] = m_grid.Rotation(BlockStart(m_nLatest));
}

double BlockEvidence::StartBlock(double dUnit)
{
    m_nBlockLength = std::max(1, int(std::lround(dUnit / m_nBlocksPerUnit)));
    return dUnit / m_nBlockLength;
}

void BlockEvidence::CloseBlock(const SegmentLengthPriors& priors)
{
    const qint64 e = m_nLatest + 1;
    m_noise.CloseBlock(m_nInBlock, blockContent());
    const double variance = std::max(1e-20, double(m_noise.Variance()));
    // Key-down evidence: log likelihood ratio of the block's samples, Gaussian noise.
    const double a = m_fAmplitude;
    const double weight = priors.IsNormalised() ? 1.0 : EVIDENCE_WEIGHT;
    const double noise = variance / weight;
    const double evidence = (a * m_blockSum.real() - 0.5 * a * a * m_nInBlock) / noise;
    m_cumulative[slot(e)] = m_cumulative[slot(m_nLatest)] + evidence;
    m_sampleSums[slot(e)] = m_sampleSums[slot(m_nLatest)] + m_blockSum;
    // Marks on their own phase are weighed on sums that span many blocks: each block counts
    // against the noise measured as it closed, as the key-down evidence does, so that a mark
    // weighed at a later boundary is not weighed anew against the noise measured since. Far
    // over the noise that measure moves by several percent within a mark (the quadrature of an
    // unsteady tone), and a mark weighed whole against a lower one outscored the same mark
    // with the gap after it: under a fade, silence was read as the end of a dash.
    m_weighedSums[slot(e)] = m_weighedSums[slot(m_nLatest)] + a * m_blockSum / variance;
    m_weighedMagnitudeSums[slot(e)] =
        m_weighedMagnitudeSums[slot(m_nLatest)] + a * std::sqrt(std::norm(m_blockSum)) / variance;
    m_amplitudeSums[slot(e)] = m_amplitudeSums[slot(m_nLatest)] + a * m_nInBlock;
    m_markPowers[slot(e)] = m_markPowers[slot(m_nLatest)] + a * a * m_nInBlock / variance;
    m_blockStarts[slot(e)] = m_nPosition;
    if (m_grid.IsActive())
        m_blockRotations[slot(e)] = m_grid.Rotation(m_nPosition);
    m_nInBlock = 0;
    m_blockSum = 0.0;
    m_nLatest = e;
    if (m_bOwnPhase)
        m_ownPhase.Bound(*this, priors, m_fAmplitude, m_grid);
}

BlockNoise::Content BlockEvidence::blockContent() const
{
    // A block whose in-phase part stays under half a mark holds no mark; marks weighed on their
    // own phase, or without a mark level yet, give nothing to tell by. A tone followed within
    // 45 degrees leaves less in quadrature than in phase; more is what a crash left.
    const double halfMark = 0.5 * double(m_fAmplitude) * m_nInBlock;
    if (m_bOwnPhase || !(halfMark > 0.0) || std::abs(m_blockSum.real()) <= halfMark)
        return BlockNoise::Content::Gap;
    return std::abs(m_blockSum.imag()) > std::abs(m_blockSum.real()) ? BlockNoise::Content::Burst
                                                                     : BlockNoise::Content::Mark;
}

std::complex<double> BlockEvidence::GridPhase(qint64 nStart) const
{
    // Where the marks agree less, a real mark's projection falls short of its size by more
    // than the average says (the more so the weaker the mark), and real dots were dropped.
    if (!m_grid.IsActive() || !m_grid.IsSure())
        return 0.0;
    return m_grid.Prior(m_grid.Rotation(nStart)) / (m_grid.Concentration() * m_grid.Agreement());
}

double BlockEvidence::OwnPhaseMagnitude(std::complex<double> sum, qint64 nSamples) const
{
    // A mark on its own phase has the size of its samples' sum, whatever that phase was; the
    // noise adds its power to that, so a stretch of noise taken for a dot would look as
    // strong as a weak mark. That power is taken out.
    const double noisePower = 2.0 * double(nSamples) * double(m_noise.Variance());
    return std::sqrt(std::max(0.0, std::norm(sum) - noisePower));
}

} // namespace cw
