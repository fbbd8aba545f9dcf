#include "tools/cwdemodulator/cwsegmenter.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

/// Blocks between a decision and the newest block: long enough for the readings of a noisy
/// stretch to agree again (a character and its neighbours), so that pieces of one segment
/// decided in two goes belong to the same reading.
constexpr int LAG = 20 * CwSegmenter::BLOCKS_PER_UNIT;
constexpr int COMMIT_EVERY = 2 * CwSegmenter::BLOCKS_PER_UNIT;
/// The priors are recomputed when whole samples per block make the blocks per element
/// differ this much from the last computation.
constexpr double PRIOR_TOLERANCE = 0.02;

} // namespace

CwSegmenter::CwSegmenter(const std::vector<std::string>& characterCodes, int nBlocksPerUnit,
                         double dLeastLikelyLength)
    : m_priors(BlockEvidence::LONGEST_MARK, CharacterSearch::LONGEST_GAP, dLeastLikelyLength,
               LEAST_LIKELY_LENGTH),
      m_blocks(nBlocksPerUnit), m_search(characterCodes)
{
    static_assert(LAG + COMMIT_EVERY + CharacterSearch::LONGEST_GAP <= int(BlockEvidence::RING),
                  "the ring must hold a traceback");
    m_priors.Set(BLOCKS_PER_UNIT);
    Reset(0, 0.0f);
}

void CwSegmenter::CopyPriorsFrom(const CwSegmenter& other)
{
    m_priors = other.m_priors;
    m_blocks.SetBlocksPerUnit(other.m_blocks.BlocksPerUnit());
}

void CwSegmenter::Reset(qint64 nPosition, float fNoiseVariance, bool bScoring)
{
    m_priors.SetNormalised(bScoring);
    m_blocks.Reset(nPosition, fNoiseVariance);
    m_search.Reset(m_blocks.Origin());
    m_nCommitted = m_blocks.Origin();
    m_segments.clear();
}

void CwSegmenter::SetRestartGrid(double dTurnPerSample)
{
    m_blocks.SetRestartGrid(dTurnPerSample);
}

double CwSegmenter::BestScore() const
{
    return m_search.BestScore(m_blocks.Latest());
}

void CwSegmenter::PushInPhase(float fInPhase, float fAmplitude, double dUnit)
{
    addSample(fInPhase, fAmplitude, dUnit);
}

void CwSegmenter::addSample(const std::complex<float>& sample, float fAmplitude, double dUnit)
{
    if (m_blocks.IsBetweenBlocks()) {
        const double blocksPerUnit = m_blocks.StartBlock(dUnit);
        if (std::abs(blocksPerUnit / m_priors.BlocksPerUnit() - 1.0) > PRIOR_TOLERANCE)
            m_priors.Set(blocksPerUnit);
    }
    if (m_blocks.Add(sample, fAmplitude))
        closeBlock();
}

void CwSegmenter::Push(float fInPhase, float fQuadrature, float fAmplitude, double dUnit)
{
    // The quadrature part of a coherently received tone is noise alone, distributed as the
    // in-phase noise whatever the keying. The evidence sums samples over blocks, and the
    // baseband noise is not white out to the band edges, so its variance is measured on the
    // same block sums.
    m_blocks.MeasureNoise(fQuadrature);
    m_blocks.WeighOnOwnPhase(false);
    addSample({fInPhase, fQuadrature}, fAmplitude, dUnit);
}

void CwSegmenter::PushOwnPhase(const std::complex<float>& sample, float fQuadrature,
                               float fAmplitude, double dUnit)
{
    // Whatever phase the tone had in earlier elements, a mark is one keying of the tone: its
    // samples add up on the phase it had then. The noise is measured as for Push().
    m_blocks.MeasureNoise(fQuadrature);
    m_blocks.WeighOnOwnPhase(true);
    addSample(sample, fAmplitude, dUnit);
}

void CwSegmenter::closeBlock()
{
    m_blocks.CloseBlock(m_priors);
    m_search.Push(m_blocks, m_priors);
    // Scoring needs the likelihood only, not the segments.
    if (!m_priors.IsNormalised() && m_blocks.Latest() - m_nCommitted >= LAG + COMMIT_EVERY)
        commit(false);
}

void CwSegmenter::Finish()
{
    if (!m_blocks.IsBetweenBlocks())
        closeBlock();
    if (!m_priors.IsNormalised())
        commit(true);
}

void CwSegmenter::commit(bool bAll)
{
    const qint64 end = m_blocks.Latest();
    const qint64 target = bAll ? end : end - LAG;
    if (target <= m_nCommitted)
        return;
    m_path.clear();
    m_search.TraceBack(end, m_nCommitted, m_path);
    for (auto it = m_path.rbegin(); it != m_path.rend(); ++it) {
        const qint64 last = std::min(it->nEnd, target);
        if (last <= it->nFirst)
            break;
        emit(it->bOn, it->kind, it->nFirst, last);
    }
    m_nCommitted = target;
}

void CwSegmenter::emit(bool bOn, Kind kind, qint64 nFirst, qint64 nLast)
{
    const std::complex<double> sum = m_blocks.SumBetween(nFirst, nLast);
    const qint64 startSample = m_blocks.BlockStart(nFirst);
    const qint64 samples = m_blocks.BlockStart(nLast) - startSample;
    const bool ownPhase = m_blocks.IsOwnPhase();
    const double total = ownPhase && bOn ? m_blocks.OwnPhaseMagnitude(sum, samples) : sum.real();
    const float level = samples > 0 ? float(total / double(samples)) : 0.0f;
    const double weighedAgainst = m_blocks.AmplitudeBetween(nFirst, nLast);
    const float amplitude = samples > 0 ? float(weighedAgainst / double(samples)) : 0.0f;
    // Pieces of one run decided in two goes (or silence chained in stretches) are joined; the
    // later decision says what the whole is.
    const bool joined = !m_segments.empty() && m_segments.back().bOn == bOn &&
                        m_segments.back().nStart + m_segments.back().nLength == startSample;
    const float gridLevel =
        bOn && ownPhase ? gridLevelOf(sum, joined ? m_segments.back().nStart : startSample, samples)
                        : -1.0f;
    if (bOn && ownPhase)
        m_blocks.LearnMark(sum, joined ? m_segments.back().nStart : startSample);
    if (joined) {
        Segment& previous = m_segments.back();
        const double total = double(previous.nLength + samples);
        previous.fLevel = float((previous.fLevel * previous.nLength + level * samples) / total);
        previous.fAmplitude =
            float((previous.fAmplitude * previous.nLength + amplitude * samples) / total);
        // One phase for the whole mark, predicted from its start: the projections add up.
        previous.fGridLevel =
            previous.fGridLevel >= 0.0f && gridLevel >= 0.0f
                ? float((previous.fGridLevel * previous.nLength + gridLevel * samples) / total)
                : -1.0f;
        previous.nLength += samples;
        previous.kind = kind;
    } else {
        m_segments.push_back({bOn, startSample, samples, level, kind, amplitude, gridLevel});
    }
}

float CwSegmenter::gridLevelOf(std::complex<double> sum, qint64 nMarkStart, qint64 nSamples) const
{
    const std::complex<double> phase = m_blocks.GridPhase(nMarkStart);
    if (phase == 0.0 || nSamples <= 0)
        return -1.0f;
    // A phase far off the one predicted gives nothing, not a negative level.
    return float(std::max(0.0, (sum * std::conj(phase)).real()) / double(nSamples));
}

bool CwSegmenter::TakeSegment(Segment& segment)
{
    // The newest segment may still grow with the next decision, unless all was flushed.
    if (m_segments.empty() || (m_segments.size() == 1 && m_nCommitted < m_blocks.Latest()))
        return false;
    segment = m_segments.front();
    m_segments.pop_front();
    return true;
}

} // namespace cw
