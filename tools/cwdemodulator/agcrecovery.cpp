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

} // namespace

AgcRecovery::AgcRecovery(double dSampleRate, double dPitchHz)
    : m_dNotch(2.0 * std::cos(dsp::TWO_PI * dPitchHz / dSampleRate)),
      m_dFollowWeight(1.0 / (FOLLOW_SEC * dSampleRate)), m_dFollowKeep(1.0 - m_dFollowWeight),
      m_dLoudestWeighted(LOUDEST_SHARE * m_dFollowWeight),
      m_dQuickWeight(std::min(1.0, 1.0 / (QUICK_SEC * dSampleRate))),
      m_dQuickKeep(1.0 - m_dQuickWeight),
      m_dUsualDecay(std::exp(-1.0 / (USUAL_MEMORY_SEC * dSampleRate))),
      m_dTonalityWeight(std::min(1.0, double(TONALITY_STEP) / (TONALITY_MEMORY_SEC * dSampleRate))),
      m_nWarmUp(std::max(1, int(FOLLOW_SEC * dSampleRate)))
{
}

const float* AgcRecovery::Push(const float* pSamples, size_t nCount)
{
    State state = m_state;
    // Blocks without a cut pass through without a copy.
    float* out = nullptr;
    for (size_t i = 0; i < nCount; ++i) {
        const float gain = gainFor(state, pSamples[i]);
        if (gain == 1.0f)
            continue;
        if (!out) {
            m_out.assign(pSamples, pSamples + nCount);
            out = m_out.data();
        }
        out[i] /= gain;
    }
    m_state = state;
    return out ? out : pSamples;
}

inline float AgcRecovery::gainFor(State& state, float fSample)
{
    // A silenced crash says nothing of the gain, nor does digital silence (a damaged stretch
    // or padding: no receiver's gain leaves exact zeros), nor do the notch's next two samples.
    const double sample = fSample;
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
    if (state.nSeen < m_nWarmUp) {
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
    state.dUsual = std::max(state.dFollowed, state.dUsual * m_dUsualDecay);
    state.dInput = state.dInput * m_dFollowKeep + std::abs(sample) * m_dFollowWeight;
    state.dUsualInput = std::max(state.dInput, state.dUsualInput * m_dUsualDecay);
    state.bCut = state.dFollowed < (state.bCut ? CUT_SHARE : DEEP_SHARE) * state.dUsual;
    // Only a fall of the noise asks whether there is noise to measure and no tone.
    const bool cut =
        state.bCut && state.dUsual >= LEAST_NOISE_SHARE * state.dUsualInput && !isTonal();
    state.fGain =
        cut ? float(std::max(state.dFollowed / (CUT_SHARE * state.dUsual), 1.0 / MOST_RAISE))
            : 1.0f;
    return state.fGain;
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
