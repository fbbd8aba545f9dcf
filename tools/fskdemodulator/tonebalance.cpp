#include "tools/fskdemodulator/tonebalance.h"

#include "tools/fskdemodulator/tonefilter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fsk {

namespace {

/// Levels follow over about this many bits of each tone being on: a selective fade changes a
/// tone's level by several dB within a character, and lagging levels misweigh the tones.
constexpr double FOLLOW_BITS = 1.0;
/// The tones' balance is judged over this many bits...
constexpr double BALANCE_BITS = 4.0;
/// ...and they count as equally strong within 3 dB (natural log of the amplitude ratio), the
/// weighing taking over fully 6 dB further.
constexpr float EQUAL_LOG = 0.35f;
constexpr float BLEND_LOG = 0.7f;
constexpr unsigned JUDGE_EVERY = 8;
/// Silence does not blow the scaled decision value up: the scale stays above this share of
/// the level the signal was found at.
constexpr float LOWEST_LEVEL = 1e-3f;
/// A floor above this share of the level is noise taken for the tone.
constexpr float MAX_FLOOR = 0.5f;
/// Audio that sets the first levels.
constexpr double PRIMING_SEC = 3.0;

} // namespace

ToneBalance::ToneBalance(double dBitSamples)
    : m_fStep(float(1.0 / (FOLLOW_BITS * dBitSamples))),
      m_fSmoothing(float(1.0 / (BALANCE_BITS * dBitSamples)))
{
}

float ToneBalance::Tracker::range() const
{
    return std::max(fLevel - fFloor, 1e-20f);
}

void ToneBalance::Tracker::follow(float fAmplitude, float fStep, bool bOn, float fLowestLevel)
{
    // The tone's level moves while it is on, its floor while it is off.
    if (bOn)
        fLevel += fStep * (fAmplitude - fLevel);
    else
        fFloor += fStep * (fAmplitude - fFloor);
    // In silence both levels come to rest at the same lowest level: equally strong tones, no
    // weighing, and a decision value of zero.
    fLevel = std::max(fLevel, fLowestLevel);
    fFloor = std::clamp(fFloor, 0.0f, MAX_FLOOR * fLevel);
}

float ToneBalance::Push(float fMark, float fSpace)
{
    // Which tone is on is judged on each tone's own scale, so a tone that fades deep is still
    // seen on while it is keyed: no bit decision is needed, and a fade cannot lock a level.
    // Where neither tone stands above its floor (silence) only the floors follow.
    // (Compared crosswise: the division per sample would cost a tenth of the run time.)
    const float markAbove = (fMark - m_mark.fFloor) * m_space.range();
    const float spaceAbove = (fSpace - m_space.fFloor) * m_mark.range();
    const bool someOn = markAbove > 0.0f || spaceAbove > 0.0f;
    m_mark.follow(fMark, m_fStep, someOn && markAbove > spaceAbove, m_fLowestLevel);
    m_space.follow(fSpace, m_fStep, someOn && spaceAbove >= markAbove, m_fLowestLevel);
    // The likelihood ratio of non-coherent FSK at good SNR: each tone's amplitude over half its
    // level, weighted by the level. Equal levels give the plain difference; a faded tone
    // leaves the threshold at half the other tone's level.
    const float mark = m_mark.fLevel - m_mark.fFloor;
    const float space = m_space.fLevel - m_space.fFloor;
    const float scale = std::max(mark + space, 1e-20f);
    const float weighed = mark * (fMark - m_mark.fFloor - 0.5f * mark) -
                          space * (fSpace - m_space.fFloor - 0.5f * space);
    // The fast level estimates are noisy: while the tones stay about equally strong the plain
    // difference decides, and the weighing takes over as one tone fades.
    // The logarithm is costly and the balance changes slowly: it is judged every few samples.
    if (++m_nSinceJudged == JUDGE_EVERY) {
        m_nSinceJudged = 0;
        const float imbalance = std::log((mark + 1e-20f) / (space + 1e-20f));
        m_fImbalance += float(JUDGE_EVERY) * m_fSmoothing * (imbalance - m_fImbalance);
        m_fShare = std::clamp((std::abs(m_fImbalance) - EQUAL_LOG) / BLEND_LOG, 0.0f, 1.0f);
    }
    // On the scale of the tones' present level, so that a fade of both does not shrink the
    // values that starts and timing are judged by: the weighed value over half the mean
    // square range, the plain difference over half the range, in one division.
    const float value = m_fShare * weighed + (1.0f - m_fShare) * 0.5f * (fMark - fSpace) * scale;
    return value / std::max(0.5f * (mark * mark + space * space), 1e-30f);
}

void ToneBalance::Prime(ToneFilter& mark, ToneFilter& space, const float* pSamples, size_t nCount,
                        double dSampleRate)
{
    // The tones' typical level and floor: high and low percentiles of their amplitudes.
    const size_t count = std::min(nCount, size_t(PRIMING_SEC * dSampleRate));
    std::vector<float> amplitudes;
    amplitudes.reserve(2 * count);
    for (size_t n = 0; n < count; ++n) {
        const float sample = std::isfinite(pSamples[n]) ? pSamples[n] : 0.0f;
        amplitudes.push_back(mark.Push(sample));
        amplitudes.push_back(space.Push(sample));
    }
    mark.Clear();
    space.Clear();
    if (amplitudes.empty())
        return;
    std::sort(amplitudes.begin(), amplitudes.end());
    m_mark.fLevel = m_space.fLevel = amplitudes[amplitudes.size() * 9 / 10];
    m_mark.fFloor = m_space.fFloor = amplitudes[amplitudes.size() / 10];
    m_fLowestLevel = std::max(m_fLowestLevel, LOWEST_LEVEL * m_mark.fLevel);
}

} // namespace fsk
