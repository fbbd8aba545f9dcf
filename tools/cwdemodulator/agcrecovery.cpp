#include "tools/cwdemodulator/agcrecovery.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cw {

namespace {

/// The noise through a cut is a mean over about this long: short beside the gain's recovery.
/// It falls at once with a mean over the second, much shorter time, so that the samples right
/// after a cut are raised with it (with the long mean alone, 11 / 12 / 16 % at 15 / 25 /
/// 35 WPM for the AGC of 0.3 s after crashes 40 dB over the tone, 6 dB; 1.2 / 1.8 / 3.0 %
/// with this). Shorter still, the quick mean dips by itself, and the crash row at 15-35 WPM
/// lost up to a tenth of its characters at 0.5 ms.
constexpr double FOLLOW_SEC = 0.01;
constexpr double QUICK_SEC = 0.001;
/// A sample counts in the long mean as at most this many times the mean: a crash that got
/// through (the blanker's warm-up) must not lift the usual noise, under which the noise after
/// it would then look like a deep cut.
constexpr double LOUDEST_SHARE = 3.0;
/// The usual noise is the highest of those means over the last seconds, forgotten this slowly.
constexpr double USUAL_MEMORY_SEC = 3.0;
/// Through a cut the noise measures the receiver's gain, not the band's: the usual noise is
/// forgotten four times more slowly there. With crashes coming faster than the gain recovers,
/// a cut may last seconds; forgotten at the usual pace, the usual noise had sunk to half by the
/// end of a cut of 2 s, so the cut ended early and the half second after it went on 6-12 dB
/// low (an opening with four crashes in its first 2 s read `OH5D` as `GIE ID`). Kept as it
/// was through the cut, or forgotten twice more slowly only, the AGC row read a character or
/// two worse here and there.
constexpr double USUAL_MEMORY_IN_CUT_SEC = 4.0 * USUAL_MEMORY_SEC;
/// The products of the notched input with its past, that tell noise from a tone, are averaged
/// over this long: longer than a neighbour's pauses between words.
constexpr double TONALITY_MEMORY_SEC = 1.0;
/// The products are taken every this many samples (a power of 2): they change slowly.
constexpr size_t TONALITY_STEP = 4;
/// The first lag at which noise through the notch no longer correlates with itself.
constexpr int FIRST_LAG = 3;
/// Noise leaves the squared correlations at these lags summed near 0; a tone, about half of
/// their number.
constexpr double TONAL_SUM = 0.5;
/// A cut begins where the noise fell under the first share of the usual noise, and lasts
/// while it stays under the second; through it the noise is raised to that second share. The
/// quickly falling mean dips under the second share by itself now and then, and raising
/// those dips cost the fading at 25 / 35 WPM a character or more per ten texts; a real cut
/// falls far deeper at once. What is left of a cut is a step of a few dB, which the levels
/// learned from the marks follow.
constexpr double DEEP_SHARE = 0.05;
constexpr double CUT_SHARE = 0.4;
/// Without noise worth the name (a clean recording), the notch leaves only the tone's keying
/// edges, and no gain can be read from it: the usual noise must reach this share of the input.
constexpr double LEAST_NOISE_SHARE = 0.02;
constexpr double MOST_RAISE = 100.0; ///< a receiver cuts its gain less than this
/// A receiver limits a crash to a few times the tone and cuts the tone under it by as much:
/// where the quick mean stands this far over the usual noise, the tone is lost (2 to 10 ms
/// for a crash). Before a fall was asked for after it: at 1.5 times, the noise's own peaks
/// were taken for crashes and the AGC row at 25 and 35 WPM read worse; at 3 times, crashes
/// the receiver limited hardest were missed.
constexpr double LOUD_SHARE = 2.0;
/// A longer loud stretch is no crash (the noise rose, or the tone's keying edges on a clean
/// recording): it is left alone. Nor is a shorter one: the noise's own peaks reach twice the
/// usual for a few samples several times a second (the noise floor at -10 dB and 20 WPM read
/// 2.0 % instead of 1.5 % when they counted).
constexpr double SHORTEST_LOUD_SEC = 0.001;
constexpr double LONGEST_LOUD_SEC = 0.015;
/// The tone counts as lost from this long before the quick mean rose, which lags the crash,
/// to this long after it fell, while the receiver's gain was still at its lowest (with
/// neither, 3.0 / 2.1 / 1.3 % at 35 WPM on three sets of texts instead of 2.5 / 1.3 / 1.1,
/// before the shortest length and the fall after it were asked for).
constexpr double LOUD_BEFORE_SEC = 0.001;
constexpr double LOUD_AFTER_SEC = 0.005;
/// A crash the receiver limited is followed by its gain cut: the quick mean falls under this
/// share of the usual noise within the time above. Loud stretches without a fall after them
/// were also counted at first, and the fading row (no crashes) lost a character at 15 WPM on
/// two sets of texts of three; at 0.4 the AGC row's 35 WPM cell read 2.2 % instead of 1.9 %.
constexpr double FALLEN_SHARE = 0.6;
/// The stretches are told for this long: the decoding runs behind the input by the time it
/// takes to learn a speed, and may decode the last seconds again.
constexpr double LOST_MEMORY_SEC = 30.0;

} // namespace

AgcRecovery::AgcRecovery(double dSampleRate, double dPitchHz)
    : m_dNotch(2.0 * std::cos(dsp::TWO_PI * dPitchHz / dSampleRate)),
      m_dFollowWeight(1.0 / (FOLLOW_SEC * dSampleRate)), m_dFollowKeep(1.0 - m_dFollowWeight),
      m_dLoudestWeighted(LOUDEST_SHARE * m_dFollowWeight),
      m_dQuickWeight(std::min(1.0, 1.0 / (QUICK_SEC * dSampleRate))),
      m_dQuickKeep(1.0 - m_dQuickWeight),
      m_dUsualDecay(std::exp(-1.0 / (USUAL_MEMORY_SEC * dSampleRate))),
      m_dUsualDecayInCut(std::exp(-1.0 / (USUAL_MEMORY_IN_CUT_SEC * dSampleRate))),
      m_dTonalityWeight(std::min(1.0, double(TONALITY_STEP) / (TONALITY_MEMORY_SEC * dSampleRate))),
      m_nWarmUp(std::max(1, int(FOLLOW_SEC * dSampleRate))),
      m_nShortestLoud(int(SHORTEST_LOUD_SEC * dSampleRate)),
      m_nLongestLoud(int(LONGEST_LOUD_SEC * dSampleRate)),
      m_nLoudBefore(int(LOUD_BEFORE_SEC * dSampleRate)),
      m_nLoudAfter(int(LOUD_AFTER_SEC * dSampleRate)),
      m_lost(std::int64_t(LOST_MEMORY_SEC * dSampleRate))
{
}

const float* AgcRecovery::Push(const float* pSamples, size_t nCount)
{
    State state = m_state;
    // Blocks without a cut pass through without a copy.
    float* out = nullptr;
    auto apply = [&](size_t i, float fGain) {
        if (fGain == 1.0f)
            return;
        if (!out) {
            m_out.assign(pSamples, pSamples + nCount);
            out = m_out.data();
        }
        out[i] /= fGain;
    };
    // The warm-up has a loop of its own, so that the samples after it do not ask for it.
    size_t i = 0;
    for (; i < nCount && state.nSeen < m_nWarmUp; ++i)
        apply(i, gainFor<true>(state, pSamples[i]));
    for (; i < nCount; ++i)
        apply(i, gainFor<false>(state, pSamples[i]));
    m_state = state;
    return out ? out : pSamples;
}

template <bool bWarmingUp> inline float AgcRecovery::gainFor(State& state, float fSample)
{
    // A silenced crash says nothing of the gain, nor does digital silence (a damaged stretch
    // or padding: no receiver's gain leaves exact zeros), nor do the notch's next two samples.
    const double sample = fSample;
    ++state.nAt;
    if (sample == 0.0) {
        state.dPrevious[0] = state.dPrevious[1] = 0.0;
        state.nSkip = 2;
        return state.fGain;
    }
    // The tone at the pitch cancels in x[n] - 2 cos(w) x[n-1] + x[n-2].
    const double notched = sample - m_dNotch * state.dPrevious[0] + state.dPrevious[1];
    state.dPrevious[1] = state.dPrevious[0];
    state.dPrevious[0] = sample;
    if (state.nSkip > 0) {
        --state.nSkip;
        return state.fGain;
    }
    learnTonality(state, notched);
    const double magnitude = std::abs(notched);
    if (bWarmingUp) {
        warmUp(state, sample, magnitude);
        return 1.0f;
    }
    // Each mean as keep * mean + weight * sample: the step from one sample's mean to the
    // next is then a multiply and an add, and the followed noise's its limit beside it.
    state.dQuick = state.dQuick * m_dQuickKeep + magnitude * m_dQuickWeight;
    state.dFollowed =
        std::min(state.dFollowed * m_dFollowKeep +
                     std::min(magnitude * m_dFollowWeight, state.dFollowed * m_dLoudestWeighted),
                 state.dQuick);
    state.dUsual =
        std::max(state.dFollowed, state.dUsual * (state.bCut ? m_dUsualDecayInCut : m_dUsualDecay));
    state.dInput = state.dInput * m_dFollowKeep + std::abs(sample) * m_dFollowWeight;
    state.dUsualInput = std::max(state.dInput, state.dUsualInput * m_dUsualDecay);
    state.bCut = state.dFollowed < (state.bCut ? CUT_SHARE : DEEP_SHARE) * state.dUsual;
    // Only a fall of the noise asks whether there is noise to measure and no tone.
    const bool cut =
        state.bCut && state.dUsual >= LEAST_NOISE_SHARE * state.dUsualInput && !isTonal();
    watchLoudness(state);
    state.fGain =
        cut ? float(std::max(state.dFollowed / (CUT_SHARE * state.dUsual), 1.0 / MOST_RAISE))
            : 1.0f;
    return state.fGain;
}

inline void AgcRecovery::watchLoudness(State& state)
{
    if (state.dQuick > LOUD_SHARE * state.dUsual) {
        if (state.nLoudUntil < state.nAt)
            state.nLoudFrom = state.nAt;
        state.nLoudUntil = state.nAt + 1;
        state.bLoudPending = false;
        return;
    }
    // Only a crash's length, and only where there is noise to measure and no tone in it:
    // a clean recording's keying edges or a stronger neighbour stand out through the notch.
    const std::int64_t length = state.nLoudUntil - state.nLoudFrom;
    if (state.nLoudUntil == state.nAt)
        state.bLoudPending = length >= m_nShortestLoud && length <= m_nLongestLoud &&
                             state.dUsual >= LEAST_NOISE_SHARE * state.dUsualInput && !isTonal();
    // The receiver cut its gain on the crash: the noise falls right after it.
    if (!state.bLoudPending)
        return;
    if (state.nAt - state.nLoudUntil > m_nLoudAfter) {
        state.bLoudPending = false;
        return;
    }
    if (state.dQuick >= FALLEN_SHARE * state.dUsual)
        return;
    state.bLoudPending = false;
    m_lost.Add(state.nLoudFrom - m_nLoudBefore, state.nLoudUntil + m_nLoudAfter, state.nAt);
}

inline void AgcRecovery::warmUp(State& state, double dSample, double dMagnitude) const
{
    ++state.nSeen;
    state.dFollowed += (dMagnitude - state.dFollowed) / double(state.nSeen);
    state.dUsual = state.dQuick = state.dFollowed;
    state.dInput += (std::abs(dSample) - state.dInput) / double(state.nSeen);
    state.dUsualInput = state.dInput;
}

inline void AgcRecovery::learnTonality(State& state, double dNotched)
{
    // Noise through the notch is correlated only with its two neighbours; a tone (a stronger
    // neighbour's, whose pauses would look like gain cuts) with its whole past.
    constexpr size_t LONGEST_LAG = FIRST_LAG + LAGS - 1;
    static_assert(LONGEST_LAG < HISTORY && LAGS % 2 == 0, "the lags are kept, in pairs");
    state.nHistory = (state.nHistory + 1) & (HISTORY - 1);
    m_history[state.nHistory] = m_history[state.nHistory + HISTORY] = dNotched;
    if (state.nHistory % TONALITY_STEP != 0)
        return;
    m_dPower += (dNotched * dNotched - m_dPower) * m_dTonalityWeight;
    const double* past = &m_history[state.nHistory + HISTORY - LONGEST_LAG];
#if defined(__SSE2__)
    // Two lags at a time, each as the plain loop below would take it.
    const __m128d notched = _mm_set1_pd(dNotched);
    const __m128d weight = _mm_set1_pd(m_dTonalityWeight);
    for (size_t k = 0; k < LAGS; k += 2) {
        const __m128d product = _mm_loadu_pd(&m_products[k]);
        const __m128d step = _mm_sub_pd(_mm_mul_pd(notched, _mm_loadu_pd(past + k)), product);
        _mm_storeu_pd(&m_products[k], _mm_add_pd(product, _mm_mul_pd(step, weight)));
    }
#else
    for (size_t k = 0; k < LAGS; ++k)
        m_products[k] += (dNotched * past[k] - m_products[k]) * m_dTonalityWeight;
#endif
}

bool AgcRecovery::isTonal() const
{
    // Noise leaves the products near 0 beside the power; the shortest lag is summed first.
    double sum = 0.0;
    for (size_t k = LAGS; k-- > 0;)
        sum += m_products[k] * m_products[k];
    return sum > TONAL_SUM * m_dPower * m_dPower;
}

} // namespace cw
