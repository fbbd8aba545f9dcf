#include "tools/cwdemodulator/cwsegmenter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cw {

namespace {

constexpr int UNIT = CwSegmenter::BLOCKS_PER_UNIT;
constexpr int LONGEST_MARK = 6 * UNIT; ///< blocks; longer marks are split
constexpr int LONGEST_GAP = 8 * UNIT;  ///< blocks; longer silence is chained
constexpr int LAG = 10 * UNIT;         ///< blocks between a decision and the newest block
constexpr int COMMIT_EVERY = 2 * UNIT;
constexpr size_t RING = 4096; ///< blocks kept; more than the lag and a traceback
constexpr double NEGATIVE = -1e300;
/// Spread of element lengths, in log units: hand-sent timing and noise on the edges.
constexpr double LENGTH_SPREAD = 0.15;
/// Marks and gaps shorter than this (units) do not occur: hand-sent elements stay above
/// 0.8 of their length.
constexpr double SHORTEST_UNITS = 0.6;
/// The priors are recomputed when whole samples per block make the blocks per element
/// differ this much from the last computation.
constexpr double PRIOR_TOLERANCE = 0.02;
constexpr double NOISE_MEMORY = 2000.0; ///< samples the noise variance is averaged over

double logGauss(double x, double mean, double spread)
{
    const double z = (x - mean) / spread;
    return -0.5 * z * z;
}

/// log of a mixture of log-normal lengths, each given as (share, length in units).
float logPrior(int blocks, double dBlocksPerUnit,
               std::initializer_list<std::pair<double, double>> parts)
{
    if (double(blocks) < SHORTEST_UNITS * dBlocksPerUnit)
        return -1e30f;
    const double l = std::log(double(blocks) / dBlocksPerUnit);
    double sum = 1e-6;
    for (const auto& part : parts)
        sum += part.first * std::exp(logGauss(l, std::log(part.second), LENGTH_SPREAD));
    return float(std::log(sum));
}

} // namespace

void CwSegmenter::setPriors(double dBlocksPerUnit)
{
    m_dPriorBlocksPerUnit = dBlocksPerUnit;
    m_onPrior.assign(LONGEST_MARK + 1, 0.0f);
    for (int d = 1; d <= LONGEST_MARK; ++d)
        m_onPrior[size_t(d)] = logPrior(d, dBlocksPerUnit, {{0.5, 1.0}, {0.5, 3.0}});
    m_offPrior.assign(LONGEST_GAP + 1, 0.0f);
    for (int d = 1; d <= LONGEST_GAP; ++d)
        m_offPrior[size_t(d)] = logPrior(d, dBlocksPerUnit, {{0.55, 1.0}, {0.3, 3.0}, {0.15, 7.0}});
    // Make each a probability distribution over lengths in blocks, so that scores for
    // different element lengths compare.
    auto normalise = [](std::vector<float>& prior, size_t last) {
        double total = 0.0;
        for (size_t d = 1; d <= last; ++d)
            total += std::exp(double(prior[d]));
        const float shift = float(std::log(std::max(total, 1e-300)));
        for (size_t d = 1; d <= last; ++d)
            prior[d] -= shift;
    };
    if (m_bNormalisedPriors) {
        normalise(m_onPrior, LONGEST_MARK);
        normalise(m_offPrior, LONGEST_GAP);
    }
    m_fLongPrior = m_offPrior[LONGEST_GAP];
}

CwSegmenter::CwSegmenter()
{
    setPriors(UNIT);
    m_nRing = RING;
    m_cumulative.assign(RING, 0.0);
    for (auto& score : m_score)
        score.assign(RING, NEGATIVE);
    m_steps.assign(RING, Step{});
    m_blockStarts.assign(RING, 0);
    m_blockSums.assign(RING, 0.0);
    Reset(0, 0.0f);
}

void CwSegmenter::Reset(qint64 nPosition, float fNoiseVariance, bool bScoring)
{
    if (bScoring != m_bNormalisedPriors) {
        m_bNormalisedPriors = bScoring;
        setPriors(m_dPriorBlocksPerUnit);
    }
    m_fNoise = fNoiseVariance;
    m_bNoiseKnown = fNoiseVariance > 0.0f;
    m_nPosition = nPosition;
    m_nInBlock = 0;
    m_dBlockSum = 0.0;
    m_nBlocks = 0;
    m_nFirstBlock = 0;
    m_nCommitted = 0;
    m_cumulative[0] = 0.0;
    m_score[ON][0] = NEGATIVE;
    m_score[OFF][0] = 0.0;
    m_score[OFF_LONG][0] = 0.0;
    m_blockStarts[0] = nPosition;
    m_segments.clear();
}

qint64 CwSegmenter::blockStart(qint64 nBlock) const
{
    return m_blockStarts[size_t(nBlock) & (m_nRing - 1)];
}

double CwSegmenter::BestScore() const
{
    const size_t e = size_t(m_nBlocks) & (m_nRing - 1);
    return std::max({m_score[ON][e], m_score[OFF][e], m_score[OFF_LONG][e]});
}

void CwSegmenter::PushInPhase(float fInPhase, float fAmplitude, double dUnit)
{
    m_fAmplitude = fAmplitude;
    if (m_nInBlock == 0) {
        m_nBlockLength = std::max(1, int(std::lround(dUnit / UNIT)));
        const double blocksPerUnit = dUnit / m_nBlockLength;
        if (std::abs(blocksPerUnit / m_dPriorBlocksPerUnit - 1.0) > PRIOR_TOLERANCE)
            setPriors(blocksPerUnit);
    }
    m_dBlockSum += fInPhase;
    ++m_nPosition;
    if (++m_nInBlock == m_nBlockLength)
        closeBlock();
}

void CwSegmenter::Push(float fInPhase, float fQuadrature, float fAmplitude, double dUnit)
{
    // The quadrature part of a coherently received tone is noise alone: its variance is the
    // in-phase noise variance, whatever the keying.
    const float q2 = fQuadrature * fQuadrature;
    if (!m_bNoiseKnown) {
        m_fNoise = q2;
        m_bNoiseKnown = true;
    }
    m_fNoise += (q2 - m_fNoise) / float(NOISE_MEMORY);
    PushInPhase(fInPhase, fAmplitude, dUnit);
}

void CwSegmenter::closeBlock()
{
    const size_t mask = m_nRing - 1;
    const qint64 e = m_nBlocks + 1; // the boundary after this block
    const size_t ei = size_t(e) & mask;
    // Key-down evidence: log likelihood ratio of the block's samples, Gaussian noise.
    const double a = m_fAmplitude;
    const double noise = std::max(1e-20, double(m_fNoise));
    const double evidence = (a * m_dBlockSum - 0.5 * a * a * m_nInBlock) / noise;
    m_blockSums[size_t(m_nBlocks) & mask] = m_dBlockSum;
    m_cumulative[ei] = m_cumulative[size_t(m_nBlocks) & mask] + evidence;
    m_blockStarts[ei] = m_nPosition;
    m_nInBlock = 0;
    m_dBlockSum = 0.0;

    Step step{};
    double best[3] = {NEGATIVE, NEGATIVE, NEGATIVE};
    const qint64 reach = e - m_nFirstBlock;
    for (int d = 1; d <= LONGEST_MARK && d <= reach; ++d) {
        const size_t si = size_t(e - d) & mask;
        const double gain = m_cumulative[ei] - m_cumulative[si] + m_onPrior[size_t(d)];
        for (State from : {OFF, OFF_LONG}) {
            const double s = m_score[from][si] + gain;
            if (s > best[ON]) {
                best[ON] = s;
                step.from[ON] = from;
                step.length[ON] = (unsigned short)d;
            }
        }
    }
    for (int d = 1; d < LONGEST_GAP && d <= reach; ++d) {
        const size_t si = size_t(e - d) & mask;
        for (State from : {ON, OFF_LONG}) {
            // After a stretch of the longest modelled silence, any remainder is just more
            // silence; it must not be priced as a gap of its own (which could be too short).
            const double s = m_score[from][si] + (from == ON ? m_offPrior[size_t(d)] : 0.0);
            if (s > best[OFF]) {
                best[OFF] = s;
                step.from[OFF] = from;
                step.length[OFF] = (unsigned short)d;
            }
        }
    }
    if (reach >= LONGEST_GAP) {
        const size_t si = size_t(e - LONGEST_GAP) & mask;
        const double fromOn = m_score[ON][si] + m_fLongPrior;
        const double fromLong = m_score[OFF_LONG][si];
        best[OFF_LONG] = std::max(fromOn, fromLong);
        step.from[OFF_LONG] = fromOn >= fromLong ? ON : OFF_LONG;
        step.length[OFF_LONG] = LONGEST_GAP;
    }
    for (int s = 0; s < 3; ++s)
        m_score[s][ei] = best[s];
    m_steps[ei] = step;
    m_nBlocks = e;
    if (e - m_nCommitted >= LAG + COMMIT_EVERY)
        commit(false);
}

void CwSegmenter::Flush()
{
    if (m_nInBlock > 0)
        closeBlock();
    commit(true);
}

void CwSegmenter::commit(bool bAll)
{
    const size_t mask = m_nRing - 1;
    const qint64 end = m_nBlocks;
    const qint64 target = bAll ? end : end - LAG;
    if (target <= m_nCommitted)
        return;
    int state = ON;
    for (int s = OFF; s <= OFF_LONG; ++s) {
        if (m_score[s][size_t(end) & mask] > m_score[state][size_t(end) & mask])
            state = s;
    }
    // Walk the best path back to what was decided already.
    m_scratch.clear();
    qint64 boundary = end;
    while (boundary > m_nCommitted) {
        const Step& step = m_steps[size_t(boundary) & mask];
        const qint64 length = std::max<qint64>(1, step.length[state]);
        const qint64 start = std::max(boundary - length, m_nCommitted);
        m_scratch.push_back({state == ON, start, boundary - start, 0.0f});
        state = step.from[state];
        boundary = start;
    }
    for (auto it = m_scratch.rbegin(); it != m_scratch.rend(); ++it) {
        const qint64 first = it->nStart;
        const qint64 last = std::min(it->nStart + it->nLength, target);
        if (last <= first)
            break;
        double sum = 0.0;
        for (qint64 b = first; b < last; ++b)
            sum += m_blockSums[size_t(b) & mask];
        const qint64 startSample = blockStart(first);
        const qint64 samples = blockStart(last) - startSample;
        const float level = samples > 0 ? float(sum / double(samples)) : 0.0f;
        // Pieces of one run decided in two goes are joined.
        if (!m_segments.empty() && m_segments.back().bOn == it->bOn &&
            m_segments.back().nStart + m_segments.back().nLength == startSample) {
            Segment& previous = m_segments.back();
            const double total = double(previous.nLength + samples);
            previous.fLevel = float((previous.fLevel * previous.nLength + level * samples) / total);
            previous.nLength += samples;
        } else {
            m_segments.push_back({it->bOn, startSample, samples, level});
        }
    }
    m_nCommitted = target;
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
