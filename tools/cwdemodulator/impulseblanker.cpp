#include "tools/cwdemodulator/impulseblanker.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

/// A notched sample this many times its mean magnitude is a crash: Gaussian noise goes that
/// far about once in a minute at 8 kHz.
constexpr double CRASH_OVER_LEVEL = 7.0;
/// The level rises within this time, and falls ten times slower: a word gap must not make the
/// next mark's onset look like a crash.
constexpr double LEVEL_MEMORY_SEC = 0.05;
constexpr double LEVEL_FALL_SLOWER = 10.0;
/// The share of the input's recent magnitude a crash leaves after the notch (a tone leaves
/// a few per cent at its keying edges).
constexpr double BROADBAND_SHARE = 0.5;
constexpr double HOLD_SEC = 0.001;
constexpr double LONGEST_CRASH_SEC = 0.025;
/// The blanked stretches are told for this long: the decoding runs behind the input by the
/// time it takes to learn a speed, and may decode the last seconds again.
constexpr double MEMORY_SEC = 30.0;

} // namespace

// The per-sample judgement is worth inlining whatever the compiler's estimate: out of line,
// the state it works on goes through memory.
#if defined(__GNUC__)
#define BLANKER_INLINE __attribute__((always_inline)) inline
#else
#define BLANKER_INLINE inline
#endif

ImpulseBlanker::ImpulseBlanker(double dSampleRate, double dPitchHz)
    : m_dNotch(2.0 * std::cos(dsp::TWO_PI * dPitchHz / dSampleRate)),
      m_dLevelWeight{1.0 / (LEVEL_MEMORY_SEC * dSampleRate) / LEVEL_FALL_SLOWER,
                     1.0 / (LEVEL_MEMORY_SEC * dSampleRate)},
      m_dLevelKeep{1.0 - m_dLevelWeight[0], 1.0 - m_dLevelWeight[1]},
      m_nWarmUp(int(LEVEL_MEMORY_SEC * dSampleRate)),
      m_nHold(std::max(1, int(HOLD_SEC * dSampleRate))),
      m_nLongest(int(LONGEST_CRASH_SEC * dSampleRate)),
      m_lost(std::int64_t(MEMORY_SEC * dSampleRate))
{
}

size_t ImpulseBlanker::warmUp(State& state, const float* pSamples, size_t nCount) const
{
    size_t i = 0;
    for (; i < nCount && state.nSeen < m_nWarmUp; ++i) {
        // The tone at the pitch cancels in x[n] - 2 cos(w) x[n-1] + x[n-2].
        const float sample = pSamples[i];
        const double notched = std::abs(double(sample) - m_dNotch * double(state.fPrevious[0]) +
                                        double(state.fPrevious[1]));
        state.fPrevious[1] = state.fPrevious[0];
        state.fPrevious[0] = sample;
        // The mean of the first samples, before anything is judged against it.
        state.dLevel += (notched - state.dLevel) / double(++state.nSeen);
    }
    return i;
}

BLANKER_INLINE bool ImpulseBlanker::isCrash(State& state, float fSample) const
{
    const double notched = std::abs(double(fSample) - m_dNotch * double(state.fPrevious[0]) +
                                    double(state.fPrevious[1]));
    const float previous = state.fPrevious[0];
    const float beforePrevious = state.fPrevious[1];
    state.fPrevious[1] = previous;
    state.fPrevious[0] = fSample;
    // A crash is broadband, so the notch leaves most of it; a tone, however clean and strong
    // against the level (a recording without noise), leaves little of itself.
    const bool loud =
        notched > CRASH_OVER_LEVEL * state.dLevel &&
        notched > BROADBAND_SHARE * std::max({std::abs(double(fSample)), std::abs(double(previous)),
                                              std::abs(double(beforePrevious))});
    if (loud)
        state.nHoldLeft = m_nHold;
    if (state.nHoldLeft > 0 && state.nRun < m_nLongest) {
        --state.nHoldLeft;
        ++state.nRun;
        ++state.nBlanked;
        state.dRunSum += notched;
        // Too long for a crash: the sound itself got louder (noise after digital silence or
        // after a receiver's gain came back). The level takes it at once: learnt sample by
        // sample, the samples judged against the low level were blanked again and again,
        // and a first mark half a second later lost its first element.
        if (state.nRun == m_nLongest)
            state.dLevel = std::max(state.dLevel, state.dRunSum / double(m_nLongest));
        return true;
    }
    // Not a crash, or too long for one: the level learns it, rising faster than it falls.
    state.nHoldLeft = loud ? state.nHoldLeft : 0;
    state.nRun = loud ? state.nRun : 0;
    state.dRunSum = loud ? state.dRunSum : 0.0;
    // Rising, the larger weight moves it further; falling, the smaller one keeps it higher:
    // the level is the higher of the two, which needs no comparison before the arithmetic.
    state.dLevel = std::max(state.dLevel * m_dLevelKeep[1] + notched * m_dLevelWeight[1],
                            state.dLevel * m_dLevelKeep[0] + notched * m_dLevelWeight[0]);
    return false;
}

const float* ImpulseBlanker::Push(const float* pSamples, size_t nCount)
{
    State state = m_state;
    size_t i = warmUp(state, pSamples, nCount);
    // Blocks without a crash pass through without a copy; a zero set to 0 needs none either.
    while (i < nCount && !(isCrash(state, pSamples[i]) && pSamples[i] != 0.0f))
        ++i;
    if (i == nCount) {
        m_state = state;
        m_nPushed += std::int64_t(nCount);
        return pSamples;
    }
    m_out.assign(pSamples, pSamples + nCount);
    float* out = m_out.data();
    out[i] = 0.0f;
    noteBlanked(m_nPushed + std::int64_t(i));
    for (++i; i < nCount; ++i) {
        // A zero set to 0 lost nothing.
        if (isCrash(state, pSamples[i]) && pSamples[i] != 0.0f) {
            out[i] = 0.0f;
            noteBlanked(m_nPushed + std::int64_t(i));
        }
    }
    m_state = state;
    m_nPushed += std::int64_t(nCount);
    return out;
}

void ImpulseBlanker::noteBlanked(std::int64_t nAt)
{
    m_lost.Add(nAt, nAt + 1, nAt);
}

} // namespace cw
