#include "tools/cwdemodulator/blockevidence.h"

#include "tools/cwdemodulator/segmentlengthpriors.h"
#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
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
/// The same for marks weighed on their own phase, whose evidence has no fixed phase to lean
/// on: tuned on ebook2cw's recordings near the noise floor (at 4/7, 40 WPM −6 dB: 4.5 %
/// against 3.5 %; 20 WPM −10 dB: 7.3 % against 5.5 %).
constexpr double OWN_PHASE_EVIDENCE_WEIGHT = 1.0 / 3.0;
/// Log prior of a mark's phase moving from one element length of it to the next: a phase
/// that wanders inside long marks may, a tone that only restarts between elements rarely.
constexpr double PHASE_CHANGE_PRIOR = -8.0;
constexpr double NEGATIVE = -1e300;

/// log I0(z), the modified Bessel function of order zero: the likelihood of a tone of
/// unknown phase is the average over its phase, I0 of its matched-filter magnitude.
double logBesselI0(double z)
{
    if (z < 2.0) {
        // The power series, close to 1e-6 up to 2.
        const double q = 0.25 * z * z;
        return std::log(
            1.0 + q * (1.0 + q / 4.0 * (1.0 + q / 9.0 * (1.0 + q / 16.0 * (1.0 + q / 25.0)))));
    }
    // The asymptotic series, close to 1e-3 from 2 on; e^z / sqrt(2 pi z) times the series,
    // under one logarithm (this runs for every mark length and piece at every block).
    const double r = 1.0 / z;
    return z + std::log((1.0 + r * (1.0 / 8.0 + r * (9.0 / 128.0 + r * (225.0 / 3072.0)))) /
                        std::sqrt(dsp::TWO_PI * z));
}

/// The evidence of a span of blocks on its own phase, and the weighing it was taken in.
struct SpanEvidence
{
    std::uint64_t nWeighing = 0;
    double dEvidence = 0.0;
};

/// A thread's spans of blocks weighed on their own phase, by blocks from the span's first
/// boundary to the boundary being weighed (a row each, as long as that) and from its last;
/// valid within one weighing only, so one table serves every segmenter on the thread.
struct SpanScratch
{
    std::uint64_t nWeighings = 0;
    std::vector<SpanEvidence> table = std::vector<SpanEvidence>(
        size_t(BlockEvidence::LONGEST_MARK + 1) * (BlockEvidence::LONGEST_MARK + 2) / 2);
};

SpanScratch& spanScratch()
{
    thread_local SpanScratch scratch;
    return scratch;
}

} // namespace

BlockEvidence::BlockEvidence(int nBlocksPerUnit)
    : m_nBlocksPerUnit(std::clamp(nBlocksPerUnit, 1, BLOCKS_PER_UNIT)), m_cumulative(RING, 0.0),
      m_sampleSums(RING, 0.0), m_magnitudeSums(RING, 0.0), m_amplitudeSums(RING, 0.0),
      m_blockStarts(RING, 0), m_blockRotations(RING, 1.0),
      m_ownPhaseBound(size_t(LONGEST_MARK) + 1, NEGATIVE),
      m_markPieces(size_t(LONGEST_MARK) + 1, 1),
      m_ownPhaseEvidence(size_t(LONGEST_MARK) + 1, NEGATIVE),
      m_ownPhaseWeighedAt(size_t(LONGEST_MARK) + 1, std::numeric_limits<qint64>::min()),
      m_pieceMagnitudes(size_t(LONGEST_MARK) + 1, 0.0)
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
    m_magnitudeSums[first] = 0.0;
    m_amplitudeSums[first] = 0.0;
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
    m_noise.CloseBlock(m_nInBlock);
    // Key-down evidence: log likelihood ratio of the block's samples, Gaussian noise.
    const double a = m_fAmplitude;
    const double weight = priors.IsNormalised() ? 1.0 : EVIDENCE_WEIGHT;
    const double noise = std::max(1e-20, double(m_noise.Variance())) / weight;
    const double evidence = (a * m_blockSum.real() - 0.5 * a * a * m_nInBlock) / noise;
    m_cumulative[slot(e)] = m_cumulative[slot(m_nLatest)] + evidence;
    m_sampleSums[slot(e)] = m_sampleSums[slot(m_nLatest)] + m_blockSum;
    m_magnitudeSums[slot(e)] = m_magnitudeSums[slot(m_nLatest)] + std::sqrt(std::norm(m_blockSum));
    m_amplitudeSums[slot(e)] = m_amplitudeSums[slot(m_nLatest)] + a * m_nInBlock;
    m_blockStarts[slot(e)] = m_nPosition;
    if (m_grid.IsActive())
        m_blockRotations[slot(e)] = m_grid.Rotation(m_nPosition);
    m_nInBlock = 0;
    m_blockSum = 0.0;
    m_nLatest = e;
    if (m_bOwnPhase)
        boundOwnPhaseMarks(e, priors);
}

void BlockEvidence::boundOwnPhaseMarks(qint64 nBoundary, const SegmentLengthPriors& priors)
{
    // The log likelihood ratio of a mark of amplitude a and uniformly unknown phase over
    // the n samples summing to S, against noise of variance N per part and sample:
    // log I0(a |S| / N) - n a^2 / (2 N). Noise alone has no favoured phase, so unlike a
    // projection on the phase measured around each sample, gaps show no bias towards marks.
    // A phase that wanders (3 rad/s^0.5) turns inside a dash: such a mark may also be
    // weighed in pieces an element long, each on its own phase, at a price per piece.
    // log I0(z) <= z, and no sum of whole blocks is larger than the sizes of their sums
    // added up: one bound for a mark whole and split, from the blocks' running sum of sizes
    // alone. The restart grid's prior of concentration k adds at most k - log I0(k). The
    // search weighs a length only where that bound could beat what it found already, which
    // leaves most lengths unweighed.
    const double a = m_fAmplitude;
    const double noise = std::max(1e-20, double(m_noise.Variance()));
    const qint64 shortest = std::min(priors.Dot().nShortest, priors.Dash().nShortest);
    const qint64 longest = std::min<qint64>(std::max(priors.Dot().nLongest, priors.Dash().nLongest),
                                            nBoundary - m_nOrigin);
    const double concentration = m_grid.Concentration();
    m_dOwnPhaseWeight = priors.IsNormalised() ? 1.0 : OWN_PHASE_EVIDENCE_WEIGHT;
    m_dOwnPhaseAmplitude = a;
    m_dOwnPhaseNoise = noise;
    m_dPriorNorm = concentration > 0.0 ? logBesselI0(concentration) : 0.0;
    m_dConcentration = concentration;
    if (concentration > 0.0)
        m_weighedGrid = m_grid; // marks learned after this boundary do not move its weighing
    m_nSpanWeighing = 0;
    const double sizes = m_magnitudeSums[slot(nBoundary)];
    const qint64 end = BlockStart(nBoundary);
    const double priorGain = concentration > 0.0 ? concentration - m_dPriorNorm : 0.0;
    // The margin covers rounding, of the running sum's difference too.
    const double margin = 1e-9 * (a * sizes / noise + concentration + m_dPriorNorm) + 1e-9;
    for (qint64 d = shortest; d <= longest; ++d) {
        m_markPieces[size_t(d)] = priors.MarkPieces(d);
        if (!(a > 0.0)) {
            // No bound without an amplitude to weigh against: every length is weighed now.
            m_ownPhaseBound[size_t(d)] = std::numeric_limits<double>::infinity();
            weighOwnPhaseMark(d);
            continue;
        }
        const qint64 first = nBoundary - d;
        const double gain = a * (sizes - m_magnitudeSums[slot(first)]) / noise;
        const double cost = 0.5 * double(end - BlockStart(first)) * a * a / noise;
        m_ownPhaseBound[size_t(d)] =
            m_dOwnPhaseWeight * (gain + priorGain - cost) + margin + 1e-9 * cost;
    }
}

void BlockEvidence::weighOwnPhaseMark(qint64 nBlocks) const
{
    const qint64 nBoundary = m_nLatest;
    const qint64 d = nBlocks;
    const qint64 first = nBoundary - d;
    const double a = m_dOwnPhaseAmplitude;
    const double noise = m_dOwnPhaseNoise;
    auto magnitudeOf = [&](qint64 nFirst, qint64 nLast) {
        return std::sqrt(std::norm(SumBetween(nFirst, nLast)));
    };
    // Marks of different lengths share spans: the last piece of each split mark is a whole
    // shorter mark, and neighbouring lengths cut some pieces alike. Each span's evidence is
    // taken once per boundary (the same arithmetic, so the same bits), in a table of the
    // thread's where each boundary's weighing trusts only the spans stamped with its own
    // number, whoever weighed in between.
    SpanScratch& spans = spanScratch();
    if (m_nSpanWeighing == 0)
        m_nSpanWeighing = ++spans.nWeighings;
    const std::uint64_t weighing = m_nSpanWeighing;
    auto piece = [&](double dMagnitude, qint64 nFirst, qint64 nLast) {
        const size_t back = size_t(nBoundary - nFirst);
        SpanEvidence& span = spans.table[back * (back + 1) / 2 + size_t(nBoundary - nLast)];
        if (span.nWeighing != weighing) {
            const double samples = double(BlockStart(nLast) - BlockStart(nFirst));
            span.dEvidence = logBesselI0(a * dMagnitude / noise) - 0.5 * samples * a * a / noise;
            span.nWeighing = weighing;
        }
        return span.dEvidence;
    };
    const double weight = m_dOwnPhaseWeight;
    const double concentration = m_dConcentration;
    double evidence;
    if (concentration > 0.0) {
        // With the von Mises prior on the phase, the average over it is
        // I0(|a S / N + k e^(i mu)|) / I0(k).
        const std::complex<double> sum = SumBetween(first, nBoundary);
        const double samples = double(BlockStart(nBoundary) - BlockStart(first));
        const std::complex<double> prior = m_weighedGrid.Prior(m_blockRotations[slot(first)]);
        evidence = logBesselI0(std::abs(a / noise * sum + prior)) - m_dPriorNorm -
                   0.5 * samples * a * a / noise;
    } else {
        evidence = piece(magnitudeOf(first, nBoundary), first, nBoundary);
    }
    m_ownPhaseWeighedAt[size_t(d)] = nBoundary;
    const qint64 pieces = m_markPieces[size_t(d)];
    if (pieces <= 1) {
        m_ownPhaseEvidence[size_t(d)] = weight * evidence;
        return;
    }
    // Each piece's size is taken once, for the bound and for the split itself.
    if (size_t(pieces) > m_pieceMagnitudes.size())
        m_pieceMagnitudes.resize(size_t(pieces));
    double* magnitudes = m_pieceMagnitudes.data();
    for (qint64 i = 0; i < pieces; ++i)
        magnitudes[i] = magnitudeOf(first + d * i / pieces, first + d * (i + 1) / pieces);
    if (splitMayWin(first, d, pieces, magnitudes, evidence)) {
        double split = PHASE_CHANGE_PRIOR * double(pieces - 1);
        for (qint64 i = 0; i < pieces; ++i)
            split += piece(magnitudes[i], first + d * i / pieces, first + d * (i + 1) / pieces);
        evidence = std::max(evidence, split);
    }
    m_ownPhaseEvidence[size_t(d)] = weight * evidence;
}

bool BlockEvidence::splitMayWin(qint64 nFirst, qint64 nBlocks, qint64 nPieces,
                                const double* pMagnitudes, double dWhole) const
{
    // log I0(z) <= z, so the pieces' magnitudes alone bound their evidence without a
    // logarithm; the price of each phase change is mostly more than a steady tone or noise
    // gains by the split, and then the exact sum is not needed. The margin covers rounding.
    const double a = m_dOwnPhaseAmplitude;
    if (!(a > 0.0))
        return true; // the bound holds for a positive amplitude only
    const double noise = m_dOwnPhaseNoise;
    double magnitudes = 0.0;
    for (qint64 i = 0; i < nPieces; ++i)
        magnitudes += pMagnitudes[i];
    const double samples = double(BlockStart(nFirst + nBlocks) - BlockStart(nFirst));
    const double gain = a * magnitudes / noise;
    const double cost = 0.5 * samples * a * a / noise;
    const double bound = PHASE_CHANGE_PRIOR * double(nPieces - 1) + gain - cost;
    return bound + 1e-9 * (gain + cost) + 1e-9 > dWhole;
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
