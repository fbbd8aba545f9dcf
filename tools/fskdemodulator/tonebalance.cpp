#include "tools/fskdemodulator/tonebalance.h"

#include "tools/fskdemodulator/tonefilter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fsk {

namespace {

/// Levels follow over about this many decided bits of each tone: long enough to average the
/// noise, short enough to follow fading.
constexpr float FOLLOW_BITS = 16.0f;
/// Audio that sets the first levels.
constexpr double PRIMING_SEC = 1.0;

} // namespace

ToneBalance::ToneBalance(double) : m_fWeight(1.0f / FOLLOW_BITS) {}

float ToneBalance::Tracker::clipped(float fAmplitude) const
{
    return std::clamp(fAmplitude, fFloor, std::max(fFloor, fLevel)) - fFloor;
}

float ToneBalance::Push(float fMark, float fSpace)
{
    const float markRange = std::max(0.0f, m_mark.fLevel - m_mark.fFloor);
    const float spaceRange = std::max(0.0f, m_space.fLevel - m_space.fFloor);
    return m_mark.clipped(fMark) - m_space.clipped(fSpace) - 0.5f * (markRange - spaceRange);
}

void ToneBalance::Learn(float fMark, float fSpace, bool bMark)
{
    Tracker& on = bMark ? m_mark : m_space;
    Tracker& off = bMark ? m_space : m_mark;
    on.fLevel += m_fWeight * ((bMark ? fMark : fSpace) - on.fLevel);
    off.fFloor += m_fWeight * ((bMark ? fSpace : fMark) - off.fFloor);
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
