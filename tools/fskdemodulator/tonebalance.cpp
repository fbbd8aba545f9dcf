#include "tools/fskdemodulator/tonebalance.h"

#include "tools/fskdemodulator/tonefilter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fsk {

namespace {

/// Levels follow over about this many decided bits of each tone: long enough to average the
/// noise, short enough to follow fading.
constexpr double FOLLOW_BITS = 4.0;
/// The tones' balance is judged over this many bits...
constexpr double BALANCE_BITS = 4.0;
/// ...and they count as equally strong within 3 dB (natural log of the amplitude ratio), the
/// weighing taking over fully 6 dB further.
constexpr float EQUAL_LOG = 0.35f;
constexpr float BLEND_LOG = 0.7f;
constexpr unsigned JUDGE_EVERY = 8;
/// A tone's level is exceeded a tenth of the time, its floor nine tenths.
constexpr float LEVEL_QUANTILE = 0.9f;
constexpr float FLOOR_QUANTILE = 0.1f;
/// Audio that sets the first levels.
constexpr double PRIMING_SEC = 3.0;

} // namespace

ToneBalance::ToneBalance(double dBitSamples)
    : m_fStep(float(1.0 / (FOLLOW_BITS * dBitSamples))),
      m_fSmoothing(float(1.0 / (BALANCE_BITS * dBitSamples)))
{
}

bool ToneBalance::Tracker::isOn(float fAmplitude) const
{
    return fAmplitude > 0.5f * (fLevel + fFloor);
}

void ToneBalance::Tracker::follow(float fAmplitude, float fStep, bool bOtherOn)
{
    // Multiplicative quantile trackers: each settles where the amplitude lies above it for the
    // wanted share of the time, whatever was decided. While the other tone is on, this one is
    // off and tells nothing of its level: the level does not sink then, so a long idle mark
    // does not pass for a faded space.
    if (fAmplitude > fLevel)
        fLevel *= 1.0f + LEVEL_QUANTILE * fStep;
    else if (!bOtherOn)
        fLevel *= 1.0f - (1.0f - LEVEL_QUANTILE) * fStep;
    fFloor *= fAmplitude > fFloor ? 1.0f + FLOOR_QUANTILE * fStep
                                  : 1.0f - (1.0f - FLOOR_QUANTILE) * fStep;
    fLevel = std::max(fLevel, 1e-9f);
    fFloor = std::clamp(fFloor, 1e-10f, fLevel);
}

float ToneBalance::Push(float fMark, float fSpace)
{
    const bool markOn = m_mark.isOn(fMark);
    const bool spaceOn = m_space.isOn(fSpace);
    m_mark.follow(fMark, m_fStep, spaceOn);
    m_space.follow(fSpace, m_fStep, markOn);
    // The likelihood ratio of non-coherent FSK at good SNR: each tone's amplitude over half its
    // level, weighted by the level. Equal levels give the plain difference; a faded tone
    // leaves the threshold at half the other tone's level.
    const float mark = m_mark.fLevel - m_mark.fFloor;
    const float space = m_space.fLevel - m_space.fFloor;
    const float scale = std::max(mark + space, 1e-20f);
    const float weighed = (mark * (fMark - m_mark.fFloor - 0.5f * mark) -
                           space * (fSpace - m_space.fFloor - 0.5f * space)) /
                          scale;
    // The fast level estimates are noisy: while the tones stay about equally strong the plain
    // difference decides, and the weighing takes over as one tone fades.
    // The logarithm is costly and the balance changes slowly: it is judged every few samples.
    if (++m_nSinceJudged == JUDGE_EVERY) {
        m_nSinceJudged = 0;
        const float imbalance = std::log((mark + 1e-20f) / (space + 1e-20f));
        m_fImbalance += float(JUDGE_EVERY) * m_fSmoothing * (imbalance - m_fImbalance);
        m_fShare = std::clamp((std::abs(m_fImbalance) - EQUAL_LOG) / BLEND_LOG, 0.0f, 1.0f);
    }
    return m_fShare * weighed + (1.0f - m_fShare) * 0.5f * (fMark - fSpace);
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
}

} // namespace fsk
