#include "tools/cwdemodulator/ownphasemarks.h"

#include "tools/cwdemodulator/blockevidence.h"
#include "tools/cwdemodulator/segmentlengthpriors.h"
#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

namespace cw {

namespace {

/// Decoding weighs a mark's evidence on its own phase at a third of its log likelihood ratio
/// against the timing priors (BlockEvidence's on a fixed phase at 1 / 2.45), as it has no
/// fixed phase to lean on: tuned on ebook2cw's recordings near the noise floor (at 4/7, 40 WPM −6
/// dB: 4.5 % against 3.5 %; 20 WPM −10 dB: 7.3 % against 5.5 %).
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

OwnPhaseMarks::OwnPhaseMarks(qint64 nLongestMark)
    : m_bound(size_t(nLongestMark) + 1, NEGATIVE), m_pieces(size_t(nLongestMark) + 1, 1),
      m_evidence(size_t(nLongestMark) + 1, NEGATIVE),
      m_weighedAt(size_t(nLongestMark) + 1, std::numeric_limits<qint64>::min()),
      m_pieceMagnitudes(size_t(nLongestMark) + 1, 0.0)
{
}

void OwnPhaseMarks::Bound(const BlockEvidence& blocks, const SegmentLengthPriors& priors,
                          double dAmplitude, const RestartGridPhase& grid)
{
    // The log likelihood ratio of a mark of amplitude a and uniformly unknown phase over
    // the n samples summing to S, against noise of variance N per part and sample:
    // log I0(a |S| / N) - n a^2 / (2 N). Where the level moves (a fade followed), each block
    // b of n_b samples summing to S_b is weighed at its own a_b and N_b (BlockEvidence keeps
    // the sums): log I0(|sum a_b S_b / N_b|) - sum n_b a_b^2 / (2 N_b); a mark weighed at its last
    // block's level alone was read against a level the fade had left, and a fast fade on a tone
    // restarting at each element broke the text into fragments. Noise alone has no favoured phase,
    // so unlike a projection on the phase measured around each sample, gaps show no bias towards
    // marks. A phase that wanders (3 rad/s^0.5) turns inside a dash: such a mark may also be
    // weighed in pieces an element long, each on its own phase, at a price per piece.
    // log I0(z) <= z, and no sum of whole blocks is larger than the sizes of their weighed
    // sums added up: one bound for a mark whole and split, from the running sum of those sizes
    // alone. The restart grid's prior of concentration k adds at most k - log I0(k). The
    // search weighs a length only where that bound could beat what it found already, which
    // leaves most lengths unweighed.
    const qint64 nBoundary = blocks.Latest();
    const double a = dAmplitude;
    const qint64 shortest = std::min(priors.Dot().nShortest, priors.Dash().nShortest);
    const qint64 longest = std::min<qint64>(std::max(priors.Dot().nLongest, priors.Dash().nLongest),
                                            nBoundary - blocks.Origin());
    const double concentration = grid.Concentration();
    m_dWeight = priors.IsNormalised() ? 1.0 : OWN_PHASE_EVIDENCE_WEIGHT;
    m_dAmplitude = a;
    m_dPriorNorm = concentration > 0.0 ? logBesselI0(concentration) : 0.0;
    m_dConcentration = concentration;
    if (concentration > 0.0)
        m_grid = grid; // marks learned after this boundary do not move its weighing
    m_nSpanWeighing = 0;
    const double sizes = blocks.WeighedMagnitudesTo(nBoundary);
    const double priorGain = concentration > 0.0 ? concentration - m_dPriorNorm : 0.0;
    // The margin covers rounding, of the running sum's difference too.
    const double margin = 1e-9 * (sizes + concentration + m_dPriorNorm) + 1e-9;
    for (qint64 d = shortest; d <= longest; ++d) {
        m_pieces[size_t(d)] = priors.MarkPieces(d);
        if (!(a > 0.0)) {
            // No bound without an amplitude to weigh against: every length is weighed now.
            m_bound[size_t(d)] = std::numeric_limits<double>::infinity();
            weigh(blocks, nBoundary, d);
            continue;
        }
        const qint64 first = nBoundary - d;
        const double gain = sizes - blocks.WeighedMagnitudesTo(first);
        const double cost = 0.5 * blocks.MarkPowerBetween(first, nBoundary);
        m_bound[size_t(d)] = m_dWeight * (gain + priorGain - cost) + margin + 1e-9 * cost;
    }
}

void OwnPhaseMarks::weigh(const BlockEvidence& blocks, qint64 nBoundary, qint64 nBlocks) const
{
    const qint64 d = nBlocks;
    const qint64 first = nBoundary - d;
    auto magnitudeOf = [&](qint64 nFirst, qint64 nLast) {
        return std::sqrt(std::norm(blocks.WeighedSumBetween(nFirst, nLast)));
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
            span.dEvidence = logBesselI0(dMagnitude) - 0.5 * blocks.MarkPowerBetween(nFirst, nLast);
            span.nWeighing = weighing;
        }
        return span.dEvidence;
    };
    const double weight = m_dWeight;
    const double concentration = m_dConcentration;
    double evidence;
    if (concentration > 0.0) {
        // With the von Mises prior on the phase, the average over it is
        // I0(|sum a_b S_b / N_b + k e^(i mu)|) / I0(k).
        const std::complex<double> sum = blocks.WeighedSumBetween(first, nBoundary);
        const std::complex<double> prior = m_grid.Prior(blocks.RotationAt(first));
        evidence = logBesselI0(std::abs(sum + prior)) - m_dPriorNorm -
                   0.5 * blocks.MarkPowerBetween(first, nBoundary);
    } else {
        evidence = piece(magnitudeOf(first, nBoundary), first, nBoundary);
    }
    m_weighedAt[size_t(d)] = nBoundary;
    const qint64 pieces = m_pieces[size_t(d)];
    if (pieces <= 1) {
        m_evidence[size_t(d)] = weight * evidence;
        return;
    }
    // Each piece's size is taken once, for the bound and for the split itself.
    if (size_t(pieces) > m_pieceMagnitudes.size())
        m_pieceMagnitudes.resize(size_t(pieces));
    double* magnitudes = m_pieceMagnitudes.data();
    for (qint64 i = 0; i < pieces; ++i)
        magnitudes[i] = magnitudeOf(first + d * i / pieces, first + d * (i + 1) / pieces);
    if (splitMayWin(blocks, first, d, pieces, magnitudes, evidence)) {
        double split = PHASE_CHANGE_PRIOR * double(pieces - 1);
        for (qint64 i = 0; i < pieces; ++i)
            split += piece(magnitudes[i], first + d * i / pieces, first + d * (i + 1) / pieces);
        evidence = std::max(evidence, split);
    }
    m_evidence[size_t(d)] = weight * evidence;
}

bool OwnPhaseMarks::splitMayWin(const BlockEvidence& blocks, qint64 nFirst, qint64 nBlocks,
                                qint64 nPieces, const double* pMagnitudes, double dWhole) const
{
    // log I0(z) <= z, so the pieces' magnitudes alone bound their evidence without a
    // logarithm; the price of each phase change is mostly more than a steady tone or noise
    // gains by the split, and then the exact sum is not needed. The margin covers rounding.
    const double a = m_dAmplitude;
    if (!(a > 0.0))
        return true; // the bound holds for a positive amplitude only
    double gain = 0.0;
    for (qint64 i = 0; i < nPieces; ++i)
        gain += pMagnitudes[i];
    const double cost = 0.5 * blocks.MarkPowerBetween(nFirst, nFirst + nBlocks);
    const double bound = PHASE_CHANGE_PRIOR * double(nPieces - 1) + gain - cost;
    return bound + 1e-9 * (gain + cost) + 1e-9 > dWhole;
}

} // namespace cw
