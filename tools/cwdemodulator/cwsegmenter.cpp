#include "tools/cwdemodulator/cwsegmenter.h"

#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace cw {

namespace {

constexpr int UNIT = CwSegmenter::BLOCKS_PER_UNIT;
constexpr int LONGEST_MARK = 6 * UNIT; ///< blocks; longer marks are split
constexpr int LONGEST_GAP = 8 * UNIT;  ///< blocks; longer silence is chained
/// Blocks between a decision and the newest block: long enough for the readings of a noisy
/// stretch to agree again (a character and its neighbours), so that pieces of one segment
/// decided in two goes belong to the same reading.
constexpr int LAG = 20 * UNIT;
constexpr int COMMIT_EVERY = 2 * UNIT;
constexpr double NEGATIVE = -1e300;
/// Log prior of a code that is no character expected: a missing or extra element has to be
/// this much clearer than noise to make one.
constexpr float UNKNOWN_CODE = -6.0f;
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
/// Log prior of each character decoded. The length priors peak at the same height, so
/// without it a dot read into a word gap (two character gaps and an E instead of one word
/// gap) cost only log(0.3 * 0.3 / 0.15) = -0.5, and splitting a character in two, log(0.3 /
/// 0.55) = -0.6: near the noise floor a noise burst of little evidence added an E between
/// words or cut a B into T and I. Tuned on the error-rate benchmark near the noise floor, on
/// both generators' recordings (-1 to -3 tried; at -3 real E's went missing, at -1 a noise
/// gap split a 3 into E and W). Against it, a noise dot read into a character gap (a gap, a
/// dot and a gap of one element each) joins two characters into one and saves the price of
/// one: T C read as a semicolon, A K as a full stop (which RARE_SIGN now prices).
constexpr double CHARACTER_PRIOR = -1.25;
/// Log prior of a sign of the built-in alphabet other than a letter, a digit or the '/' of
/// callsigns (punctuation, the two words), against the letters' and digits' 0: such signs are
/// rare in traffic, and their long codes are what a noise dot read into a character gap makes
/// of two characters (N A read as =, A K as a full stop, T C as a semicolon). Tuned on the
/// error-rate benchmark near the noise floor, on both generators' recordings (at -4 no
/// better; with '/' priced too, callsigns' /P came out as TR or NN).
constexpr float RARE_SIGN = -2.0f;
/// Log prior of a mark's phase moving from one element length of it to the next: a phase
/// that wanders inside long marks may, a tone that only restarts between elements rarely.
constexpr double PHASE_CHANGE_PRIOR = -8.0;
/// Paths this far (log likelihood) below the best are not followed.
constexpr double BEAM = 30.0;
/// The priors are recomputed when whole samples per block make the blocks per element
/// differ this much from the last computation.
constexpr double PRIOR_TOLERANCE = 0.02;

constexpr int MARK_STATES = 0; ///< traceback states: marks by node, then element gaps,
constexpr int GAP_STATES = 1 << (CwSegmenter::LONGEST_CODE + 1);
constexpr int START_STATE = 2 * GAP_STATES; ///< a gap that ends a character ended
constexpr int LONG_STATE = START_STATE + 1; ///< a stretch of long silence ended

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

/// Whether the built-in alphabet's entry @p text is a rare sign (see RARE_SIGN).
bool isRareSign(const char* text)
{
    const bool letterOrDigit = std::isalnum(static_cast<unsigned char>(text[0])) != 0;
    return text[1] != '\0' || !(letterOrDigit || text[0] == '/');
}

} // namespace

CwSegmenter::CwSegmenter(const std::vector<std::string>& characterCodes, int nBlocksPerUnit,
                         double dLeastLikelyLength)
    : m_priors(LONGEST_MARK, LONGEST_GAP, dLeastLikelyLength, LEAST_LIKELY_LENGTH),
      m_nBlocksPerUnit(std::clamp(nBlocksPerUnit, 1, BLOCKS_PER_UNIT))
{
    static_assert(LAG + COMMIT_EVERY + LONGEST_GAP <= int(RING), "the ring must hold a traceback");
    static_assert(LONGEST_GAP < 128, "the running best must hold the longest gap's blocks");
    static_assert(std::max(LONGEST_MARK, LONGEST_GAP) < int(SCORE_RING),
                  "the scores must reach a segment back");
    m_characterBonus.assign(NODES, UNKNOWN_CODE);
    // Codes longer than the tree, or of other signs than dots and dashes, are left out.
    auto expect = [this](const char* code, float fLogPrior) {
        int node = 1;
        for (const char* c = code; *c; ++c) {
            if ((*c != '.' && *c != '-') || 2 * node >= NODES)
                return;
            node = 2 * node + (*c == '-' ? 1 : 0);
        }
        if (node > 1)
            m_characterBonus[size_t(node)] = fLogPrior;
    };
    if (characterCodes.empty()) {
        const morse::InternationalAlphabet::Entry* entries =
            morse::InternationalAlphabet::Entries();
        for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i)
            expect(entries[i].code, isRareSign(entries[i].text) ? RARE_SIGN : 0.0f);
    } else {
        // Another alphabet's codes come without their meaning: each is as likely.
        for (const std::string& code : characterCodes)
            expect(code.c_str(), 0.0f);
    }

    m_cumulative.assign(RING, 0.0);
    m_sampleSums.assign(RING, 0.0);
    m_amplitudeSums.assign(RING, 0.0);
    m_ownPhaseEvidence.assign(size_t(LONGEST_MARK) + 1, NEGATIVE);
    m_endScore.assign(RING, NEGATIVE);
    m_endNode.assign(RING, 0);
    m_startScore.assign(RING, NEGATIVE);
    m_startFrom.assign(RING, 0);
    m_startLength.assign(RING, 0);
    m_longScore.assign(RING, NEGATIVE);
    m_longFrom.assign(RING, 0);
    m_blockStarts.assign(RING, 0);
    m_blockRotations.assign(RING, 1.0);
    m_priors.Set(UNIT);
    Reset(0, 0.0f);
}

void CwSegmenter::CopyPriorsFrom(const CwSegmenter& other)
{
    m_priors = other.m_priors;
    m_nBlocksPerUnit = other.m_nBlocksPerUnit;
}

void CwSegmenter::Reset(qint64 nPosition, float fNoiseVariance, bool bScoring)
{
    m_priors.SetNormalised(bScoring);
    m_noise.Reset(fNoiseVariance);
    m_nPosition = nPosition;
    m_nInBlock = 0;
    m_blockSum = 0.0;
    m_bOwnPhase = false;
    // Block numbers go on from the last run, past anything the rings still hold, so that no
    // score stamped in an earlier run is taken for one of this run.
    m_nOrigin = m_nBlocks + qint64(RING);
    m_nBlocks = m_nOrigin;
    m_nCommitted = m_nOrigin;
    m_marks.ForgetAlive();
    m_gaps.ForgetAlive();
    m_markParents.Clear();
    m_gapNodes.Clear();
    m_liveMarks.clear();
    m_liveGaps.clear();
    // Before the start there was silence: a character may begin at once.
    const size_t first = slot(m_nOrigin);
    m_cumulative[first] = 0.0;
    m_sampleSums[first] = 0.0;
    m_amplitudeSums[first] = 0.0;
    m_endScore[first] = NEGATIVE;
    m_startScore[first] = 0.0;
    m_startFrom[first] = 0;
    m_startLength[first] = 0;
    m_longScore[first] = 0.0;
    m_longFrom[first] = 0;
    m_blockStarts[first] = nPosition;
    m_longWindow.Clear();
    m_longWindow.Add(m_nOrigin, 0.0);
    m_grid.Stop();
    m_segments.clear();
}

void CwSegmenter::SetRestartGrid(double dTurnPerSample)
{
    m_grid.Start(dTurnPerSample, m_nPosition);
    m_blockRotations[slot(m_nBlocks)] = m_grid.Rotation(blockStart(m_nBlocks));
}

double CwSegmenter::BestScore() const
{
    return bestScoreAt(m_nBlocks);
}

double CwSegmenter::bestScoreAt(qint64 nBoundary) const
{
    const size_t e = slot(nBoundary);
    double best = std::max(m_startScore[e], m_longScore[e]);
    for (int node : m_liveMarks)
        best = std::max(best, m_marks.Score(node, nBoundary));
    for (int node : m_liveGaps)
        best = std::max(best, m_gaps.Score(node, nBoundary));
    return best;
}

void CwSegmenter::PushInPhase(float fInPhase, float fAmplitude, double dUnit)
{
    addSample(fInPhase, fAmplitude, dUnit);
}

void CwSegmenter::addSample(std::complex<float> sample, float fAmplitude, double dUnit)
{
    m_fAmplitude = fAmplitude;
    if (m_nInBlock == 0) {
        m_nBlockLength = std::max(1, int(std::lround(dUnit / m_nBlocksPerUnit)));
        const double blocksPerUnit = dUnit / m_nBlockLength;
        if (std::abs(blocksPerUnit / m_priors.BlocksPerUnit() - 1.0) > PRIOR_TOLERANCE)
            m_priors.Set(blocksPerUnit);
    }
    m_blockSum += std::complex<double>(sample.real(), sample.imag());
    ++m_nPosition;
    if (++m_nInBlock == m_nBlockLength)
        closeBlock();
}

void CwSegmenter::Push(float fInPhase, float fQuadrature, float fAmplitude, double dUnit)
{
    // The quadrature part of a coherently received tone is noise alone, distributed as the
    // in-phase noise whatever the keying. The evidence sums samples over blocks, and the
    // baseband noise is not white out to the band edges, so its variance is measured on the
    // same block sums.
    m_noise.AddQuadrature(fQuadrature);
    m_bOwnPhase = false;
    addSample({fInPhase, fQuadrature}, fAmplitude, dUnit);
}

void CwSegmenter::PushOwnPhase(std::complex<float> sample, float fQuadrature, float fAmplitude,
                               double dUnit)
{
    // Whatever phase the tone had in earlier elements, a mark is one keying of the tone: its
    // samples add up on the phase it had then. The noise is measured as for Push().
    m_noise.AddQuadrature(fQuadrature);
    m_bOwnPhase = true;
    addSample(sample, fAmplitude, dUnit);
}

void CwSegmenter::closeBlock()
{
    const qint64 e = m_nBlocks + 1; // the boundary after this block
    m_noise.CloseBlock(m_nInBlock);
    // Key-down evidence: log likelihood ratio of the block's samples, Gaussian noise.
    const double a = m_fAmplitude;
    const double weight = m_priors.IsNormalised() ? 1.0 : EVIDENCE_WEIGHT;
    const double noise = std::max(1e-20, double(m_noise.Variance())) / weight;
    const double evidence = (a * m_blockSum.real() - 0.5 * a * a * m_nInBlock) / noise;
    m_cumulative[slot(e)] = m_cumulative[slot(m_nBlocks)] + evidence;
    m_sampleSums[slot(e)] = m_sampleSums[slot(m_nBlocks)] + m_blockSum;
    m_amplitudeSums[slot(e)] = m_amplitudeSums[slot(m_nBlocks)] + a * m_nInBlock;
    m_blockStarts[slot(e)] = m_nPosition;
    if (m_grid.IsActive())
        m_blockRotations[slot(e)] = m_grid.Rotation(m_nPosition);
    m_nInBlock = 0;
    m_blockSum = 0.0;

    if (m_bOwnPhase)
        weighOwnPhaseMarks(e);
    searchMarks(e);
    searchElementGaps(e);
    searchCharacterEnds(e);
    prune(e);
    m_nBlocks = e;
    // Scoring needs the likelihood only, not the segments.
    if (!m_priors.IsNormalised() && e - m_nCommitted >= LAG + COMMIT_EVERY)
        commit(false);
}

void CwSegmenter::weighOwnPhaseMarks(qint64 nBoundary)
{
    // The log likelihood ratio of a mark of amplitude a and uniformly unknown phase over
    // the n samples summing to S, against noise of variance N per part and sample:
    // log I0(a |S| / N) - n a^2 / (2 N). Noise alone has no favoured phase, so unlike a
    // projection on the phase measured around each sample, gaps show no bias towards marks.
    // A phase that wanders (3 rad/s^0.5) turns inside a dash: such a mark may also be
    // weighed in pieces an element long, each on its own phase, at a price per piece.
    const double a = m_fAmplitude;
    const double noise = std::max(1e-20, double(m_noise.Variance()));
    const qint64 shortest = std::min(m_priors.Dot().nShortest, m_priors.Dash().nShortest);
    const qint64 longest = std::min<qint64>(
        std::max(m_priors.Dot().nLongest, m_priors.Dash().nLongest), nBoundary - m_nOrigin);
    auto piece = [&](qint64 nFirst, qint64 nLast) {
        const double magnitude = std::sqrt(std::norm(sumBetween(nFirst, nLast)));
        const double samples = double(blockStart(nLast) - blockStart(nFirst));
        return logBesselI0(a * magnitude / noise) - 0.5 * samples * a * a / noise;
    };
    const double weight = m_priors.IsNormalised() ? 1.0 : OWN_PHASE_EVIDENCE_WEIGHT;
    const double concentration = m_grid.Concentration();
    const double priorNorm = concentration > 0.0 ? logBesselI0(concentration) : 0.0;
    for (qint64 d = shortest; d <= longest; ++d) {
        const qint64 first = nBoundary - d;
        double evidence;
        if (concentration > 0.0) {
            // With the von Mises prior on the phase, the average over it is
            // I0(|a S / N + k e^(i mu)|) / I0(k).
            const std::complex<double> sum = sumBetween(first, nBoundary);
            const double samples = double(blockStart(nBoundary) - blockStart(first));
            const std::complex<double> prior = m_grid.Prior(m_blockRotations[slot(first)]);
            evidence = logBesselI0(std::abs(a / noise * sum + prior)) - priorNorm -
                       0.5 * samples * a * a / noise;
        } else {
            evidence = piece(first, nBoundary);
        }
        const qint64 pieces = m_priors.MarkPieces(d);
        if (pieces > 1 && splitMayWin(first, d, pieces, evidence)) {
            double split = PHASE_CHANGE_PRIOR * double(pieces - 1);
            for (qint64 i = 0; i < pieces; ++i)
                split += piece(first + d * i / pieces, first + d * (i + 1) / pieces);
            evidence = std::max(evidence, split);
        }
        m_ownPhaseEvidence[size_t(d)] = weight * evidence;
    }
}

bool CwSegmenter::splitMayWin(qint64 nFirst, qint64 nBlocks, qint64 nPieces, double dWhole) const
{
    // log I0(z) <= z, so the pieces' magnitudes alone bound their evidence without a
    // logarithm; the price of each phase change is mostly more than a steady tone or noise
    // gains by the split, and then the exact sum is not needed. The margin covers rounding.
    const double a = m_fAmplitude;
    if (!(a > 0.0))
        return true; // the bound holds for a positive amplitude only
    const double noise = std::max(1e-20, double(m_noise.Variance()));
    double magnitudes = 0.0;
    for (qint64 i = 0; i < nPieces; ++i) {
        const std::complex<double> sum =
            sumBetween(nFirst + nBlocks * i / nPieces, nFirst + nBlocks * (i + 1) / nPieces);
        magnitudes += std::sqrt(std::norm(sum));
    }
    const double samples = double(blockStart(nFirst + nBlocks) - blockStart(nFirst));
    const double gain = a * magnitudes / noise;
    const double cost = 0.5 * samples * a * a / noise;
    const double bound = PHASE_CHANGE_PRIOR * double(nPieces - 1) + gain - cost;
    return bound + 1e-9 * (gain + cost) + 1e-9 > dWhole;
}

double CwSegmenter::ownPhaseMagnitude(std::complex<double> sum, qint64 nSamples) const
{
    // A mark on its own phase has the size of its samples' sum, whatever that phase was; the
    // noise adds its power to that, so a stretch of noise taken for a dot would look as
    // strong as a weak mark. That power is taken out.
    const double noisePower = 2.0 * double(nSamples) * double(m_noise.Variance());
    return std::sqrt(std::max(0.0, std::norm(sum) - noisePower));
}

std::complex<double> CwSegmenter::sumBetween(qint64 nFirst, qint64 nLast) const
{
    return m_sampleSums[slot(nLast)] - m_sampleSums[slot(nFirst)];
}

void CwSegmenter::searchMarks(qint64 nBoundary)
{
    // A mark ending here completes the code of its node; it began after a gap that either
    // continued the parent's code or (for the root's children) started a new character. Only
    // the children of nodes whose gap was in the beam lately are searched; a score is read
    // only at the boundaries its stamp says it was computed at (others were out of the beam).
    m_liveMarks.clear();
    searchMark(2, nBoundary);
    searchMark(3, nBoundary);
    const qint64 reach = std::max(m_priors.Dot().nLongest, m_priors.Dash().nLongest);
    m_markParents.Expire(m_gaps.Alive(), nBoundary - reach);
    for (int parent : m_markParents.Nodes()) {
        searchMark(2 * parent, nBoundary);
        if (2 * parent + 1 < NODES)
            searchMark(2 * parent + 1, nBoundary);
    }
}

void CwSegmenter::searchMark(int nNode, qint64 nBoundary)
{
    const int parent = nNode / 2;
    const SegmentLengthPriors::LengthPrior& prior = (nNode & 1) ? m_priors.Dash() : m_priors.Dot();
    if (parent > 1 && nBoundary - m_gaps.Alive(parent) > qint64(prior.nLongest))
        return;
    const qint64 longest = std::min<qint64>(prior.nLongest, nBoundary - m_nOrigin);
    if (prior.nShortest > longest)
        return;
    // A new character starts from the shared ring, a further element from the parent's gaps.
    const double* source = parent == 1 ? m_startScore.data() : m_gaps.Scores(parent);
    const qint64* stamps = parent == 1 ? nullptr : m_gaps.Stamps(parent);
    const size_t sourceMask = parent == 1 ? RING - 1 : SCORE_RING - 1;
    // Evidence on a fixed phase adds up block by block; on the mark's own phase it does not.
    // The loop is made for each case, with no test inside it but the stamps'.
    const double endEvidence = m_cumulative[slot(nBoundary)];
    double best = NEGATIVE;
    qint64 bestLength = 0;
    auto search = [&](auto evidenceOf, auto fresh) {
        for (qint64 d = prior.nShortest; d <= longest; ++d) {
            const size_t s = size_t(nBoundary - d) & sourceMask;
            if (!fresh(s, d))
                continue;
            const double candidate = source[s] + evidenceOf(d) + double(prior.log[size_t(d)]);
            if (candidate > best) {
                best = candidate;
                bestLength = d;
            }
        }
    };
    auto ownPhase = [&](qint64 d) { return m_ownPhaseEvidence[size_t(d)]; };
    auto fixedPhase = [&](qint64 d) { return endEvidence - m_cumulative[slot(nBoundary - d)]; };
    auto stamped = [&](size_t s, qint64 d) { return stamps[s] == nBoundary - d; };
    auto always = [](size_t, qint64) { return true; };
    if (stamps && m_bOwnPhase)
        search(ownPhase, stamped);
    else if (stamps)
        search(fixedPhase, stamped);
    else if (m_bOwnPhase)
        search(ownPhase, always);
    else
        search(fixedPhase, always);
    m_marks.Set(nNode, nBoundary, best, bestLength);
    m_liveMarks.push_back(nNode);
}

void CwSegmenter::searchElementGaps(qint64 nBoundary)
{
    const SegmentLengthPriors::LengthPrior& prior = m_priors.ElementGap();
    const qint64 longest = std::min<qint64>(prior.nLongest, nBoundary - m_nOrigin);
    m_liveGaps.clear();
    m_gapNodes.Expire(m_marks.Alive(), nBoundary - prior.nLongest);
    if (prior.nShortest > longest)
        return;
    for (int node : m_gapNodes.Nodes()) {
        const double* score = m_marks.Scores(node);
        const qint64* stamps = m_marks.Stamps(node);
        double best = NEGATIVE;
        qint64 bestLength = 0;
        for (qint64 d = prior.nShortest; d <= longest; ++d) {
            const size_t s = m_marks.ScoreSlot(nBoundary - d);
            if (stamps[s] != nBoundary - d)
                continue;
            const double candidate = score[s] + double(prior.log[size_t(d)]);
            if (candidate > best) {
                best = candidate;
                bestLength = d;
            }
        }
        m_gaps.Set(node, nBoundary, best, bestLength);
        m_liveGaps.push_back(node);
    }
}

void CwSegmenter::searchCharacterEnds(qint64 nBoundary)
{
    const size_t e = slot(nBoundary);
    // The likeliest character ending here.
    double bestEnd = NEGATIVE;
    int endNode = 0;
    // Scoring compares element lengths: a price per character would favour slow readings.
    const double characterPrior = m_priors.IsNormalised() ? 0.0 : CHARACTER_PRIOR;
    for (int node : m_liveMarks) {
        const double score =
            m_marks.Score(node, nBoundary) + m_characterBonus[size_t(node)] + characterPrior;
        if (score > bestEnd) {
            bestEnd = score;
            endNode = node;
        }
    }
    m_endScore[e] = bestEnd;
    m_endNode[e] = (unsigned short)endNode;

    // Long silence is chained in stretches of the longest modelled gap.
    double longScore = NEGATIVE;
    unsigned short longFrom = 0;
    const qint64 reach = nBoundary - m_nOrigin;
    if (reach >= LONGEST_GAP) {
        const size_t s = slot(nBoundary - LONGEST_GAP);
        const double fromEnd = m_endScore[s] + double(m_priors.LongPrior());
        longScore = std::max(fromEnd, m_longScore[s]);
        longFrom = fromEnd >= m_longScore[s] ? m_endNode[s] : 0;
    }
    m_longScore[e] = longScore;
    m_longFrom[e] = longFrom;

    // A gap after a character, or whatever remains after long silence (which is not priced
    // as a gap of its own: it could be too short for one).
    double bestStart = longScore;
    unsigned short startFrom = 0;
    int startLength = 0;
    const qint64 longest = std::min<qint64>(m_priors.CharacterGap().nLongest, reach);
    for (int d = m_priors.CharacterGap().nShortest; d <= longest; ++d) {
        const size_t s = slot(nBoundary - d);
        const double candidate = m_endScore[s] + double(m_priors.CharacterGap().log[size_t(d)]);
        if (candidate > bestStart) {
            bestStart = candidate;
            startFrom = m_endNode[s];
            startLength = d;
        }
    }
    // The likeliest end of long silence less than its longest stretch ago (the latest of
    // equals), kept as a running maximum instead of searched at every boundary.
    m_longWindow.Expire(nBoundary - LONGEST_GAP);
    if (!m_longWindow.IsEmpty() && m_longWindow.Best() > bestStart) {
        bestStart = m_longWindow.Best();
        startFrom = 0;
        startLength = int(nBoundary - m_longWindow.BestAt());
    }
    m_startScore[e] = bestStart;
    m_startFrom[e] = startFrom;
    m_startLength[e] = (unsigned char)startLength;
    m_longWindow.Add(nBoundary, longScore);
}

void CwSegmenter::prune(qint64 nBoundary)
{
    const double floor = bestScoreAt(nBoundary) - BEAM;
    for (int node : m_liveMarks) {
        if (m_marks.Score(node, nBoundary) >= floor) {
            m_marks.SetAlive(node, nBoundary);
            if (node < NODES / 2)
                m_gapNodes.Add(node);
        }
    }
    for (int node : m_liveGaps) {
        if (m_gaps.Score(node, nBoundary) >= floor) {
            m_gaps.SetAlive(node, nBoundary);
            m_markParents.Add(node);
        }
    }
}

void CwSegmenter::Finish()
{
    if (m_nInBlock > 0)
        closeBlock();
    if (!m_priors.IsNormalised())
        commit(true);
}

void CwSegmenter::commit(bool bAll)
{
    const qint64 end = m_nBlocks;
    const qint64 target = bAll ? end : end - LAG;
    if (target <= m_nCommitted)
        return;
    const size_t e = slot(end);
    int state = START_STATE;
    double best = m_startScore[e];
    if (m_longScore[e] > best) {
        best = m_longScore[e];
        state = LONG_STATE;
    }
    for (int node : m_liveMarks) {
        if (m_marks.Score(node, end) > best) {
            best = m_marks.Score(node, end);
            state = MARK_STATES + node;
        }
    }
    for (int node : m_liveGaps) {
        if (m_gaps.Score(node, end) > best) {
            best = m_gaps.Score(node, end);
            state = GAP_STATES + node;
        }
    }

    // Walk the best path back to what was decided already.
    m_scratch.clear();
    qint64 boundary = end;
    while (boundary > m_nCommitted) {
        const size_t b = slot(boundary);
        qint64 length = 0;
        Kind kind = Kind::CharacterGap;
        int previous = LONG_STATE;
        if (state < GAP_STATES) {
            const int node = state - MARK_STATES;
            length = m_marks.Length(node, boundary);
            kind = (node & 1) ? Kind::Dash : Kind::Dot;
            previous = node / 2 == 1 ? START_STATE : GAP_STATES + node / 2;
        } else if (state < START_STATE) {
            const int node = state - GAP_STATES;
            length = m_gaps.Length(node, boundary);
            kind = Kind::ElementGap;
            previous = MARK_STATES + node;
        } else if (state == START_STATE) {
            length = m_startLength[b];
            previous = m_startFrom[b] != 0 ? MARK_STATES + m_startFrom[b] : LONG_STATE;
        } else {
            length = LONGEST_GAP;
            previous = m_longFrom[b] != 0 ? MARK_STATES + m_longFrom[b] : LONG_STATE;
        }
        if (length == 0 && state != START_STATE)
            length = 1; // cannot happen on a path that was reached; never loop
        const qint64 start = std::max(boundary - length, m_nCommitted);
        if (start < boundary)
            m_scratch.push_back({state < GAP_STATES, start, boundary - start, 0.0f, kind, 0.0f});
        state = previous;
        boundary = start;
    }
    for (auto it = m_scratch.rbegin(); it != m_scratch.rend(); ++it) {
        const qint64 last = std::min(it->nStart + it->nLength, target);
        if (last <= it->nStart)
            break;
        emit(it->bOn, it->kind, it->nStart, last);
    }
    m_nCommitted = target;
}

void CwSegmenter::emit(bool bOn, Kind kind, qint64 nFirst, qint64 nLast)
{
    const std::complex<double> sum = sumBetween(nFirst, nLast);
    const qint64 startSample = blockStart(nFirst);
    const qint64 samples = blockStart(nLast) - startSample;
    const double total = m_bOwnPhase && bOn ? ownPhaseMagnitude(sum, samples) : sum.real();
    const float level = samples > 0 ? float(total / double(samples)) : 0.0f;
    const double weighedAgainst = m_amplitudeSums[slot(nLast)] - m_amplitudeSums[slot(nFirst)];
    const float amplitude = samples > 0 ? float(weighedAgainst / double(samples)) : 0.0f;
    // Pieces of one run decided in two goes (or silence chained in stretches) are joined; the
    // later decision says what the whole is.
    const bool joined = !m_segments.empty() && m_segments.back().bOn == bOn &&
                        m_segments.back().nStart + m_segments.back().nLength == startSample;
    if (bOn && m_bOwnPhase)
        m_grid.Learn(sum, joined ? m_segments.back().nStart : startSample);
    if (joined) {
        Segment& previous = m_segments.back();
        const double total = double(previous.nLength + samples);
        previous.fLevel = float((previous.fLevel * previous.nLength + level * samples) / total);
        previous.fAmplitude =
            float((previous.fAmplitude * previous.nLength + amplitude * samples) / total);
        previous.nLength += samples;
        previous.kind = kind;
    } else {
        m_segments.push_back({bOn, startSample, samples, level, kind, amplitude});
    }
}

bool CwSegmenter::TakeSegment(Segment& segment)
{
    // The newest segment may still grow with the next decision, unless all was flushed.
    if (m_segments.empty() || (m_segments.size() == 1 && m_nCommitted < m_nBlocks))
        return false;
    segment = m_segments.front();
    m_segments.pop_front();
    return true;
}

} // namespace cw
