#include "tools/cwdemodulator/agcrecovery.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
      m_dFollowWeight(1.0 / (FOLLOW_SEC * dSampleRate)),
      m_dQuickWeight(std::min(1.0, 1.0 / (QUICK_SEC * dSampleRate))),
      m_dUsualDecay(std::exp(-1.0 / (USUAL_MEMORY_SEC * dSampleRate))),
      m_dTonalityWeight(std::min(1.0, double(TONALITY_STEP) / (TONALITY_MEMORY_SEC * dSampleRate))),
      m_nWarmUp(std::max(1, int(FOLLOW_SEC * dSampleRate)))
{
    m_history.fill(0.0);
    m_products.fill(0.0);
}

const float* AgcRecovery::Push(const float* pSamples, size_t nCount)
{
    m_out.resize(nCount);
    bool changed = false;
    for (size_t i = 0; i < nCount; ++i) {
        const float gain = gainFor(pSamples[i]);
        m_out[i] = gain == 1.0f ? pSamples[i] : pSamples[i] / gain;
        changed = changed || gain != 1.0f;
    }
    return changed ? m_out.data() : pSamples;
}

float AgcRecovery::gainFor(float fSample)
{
    // A silenced crash says nothing of the gain, nor does digital silence (a damaged stretch
    // or padding: no receiver's gain leaves exact zeros), nor do the notch's next two samples.
    if (fSample == 0.0f) {
        m_fPrevious[0] = m_fPrevious[1] = 0.0f;
        m_nSkip = 2;
        return m_fGain;
    }
    // The tone at the pitch cancels in x[n] - 2 cos(w) x[n-1] + x[n-2].
    const double notched =
        double(fSample) - m_dNotch * double(m_fPrevious[0]) + double(m_fPrevious[1]);
    m_fPrevious[1] = m_fPrevious[0];
    m_fPrevious[0] = fSample;
    if (m_nSkip > 0) {
        --m_nSkip;
        return m_fGain;
    }
    learnTonality(notched);
    const double magnitude = std::abs(notched);
    if (m_nSeen < m_nWarmUp) {
        ++m_nSeen;
        m_dFollowed += (magnitude - m_dFollowed) / double(m_nSeen);
        m_dUsual = m_dQuick = m_dFollowed;
        m_dInput += (std::abs(double(fSample)) - m_dInput) / double(m_nSeen);
        m_dUsualInput = m_dInput;
        return 1.0f;
    }
    m_dQuick += (magnitude - m_dQuick) * m_dQuickWeight;
    m_dFollowed +=
        (std::min(magnitude, LOUDEST_SHARE * m_dFollowed) - m_dFollowed) * m_dFollowWeight;
    m_dFollowed = std::min(m_dFollowed, m_dQuick);
    m_dUsual = std::max(m_dFollowed, m_dUsual * m_dUsualDecay);
    m_dInput += (std::abs(double(fSample)) - m_dInput) * m_dFollowWeight;
    m_dUsualInput = std::max(m_dInput, m_dUsualInput * m_dUsualDecay);
    const bool tonal = m_dTonalSum > TONAL_SUM * m_products[0] * m_products[0];
    const bool noisy = m_dUsual >= LEAST_NOISE_SHARE * m_dUsualInput;
    m_bCut = m_dFollowed < (m_bCut ? CUT_SHARE : DEEP_SHARE) * m_dUsual;
    const bool cut = noisy && !tonal && m_bCut;
    m_fGain = cut ? float(std::max(m_dFollowed / (CUT_SHARE * m_dUsual), 1.0 / MOST_RAISE)) : 1.0f;
    return m_fGain;
}

void AgcRecovery::learnTonality(double dNotched)
{
    // Noise through the notch is correlated only with its two neighbours; a tone (a stronger
    // neighbour's, whose pauses would look like gain cuts) with its whole past.
    const size_t mask = m_history.size() - 1;
    m_nHistory = (m_nHistory + 1) & mask;
    m_history[m_nHistory] = dNotched;
    if (m_nHistory % TONALITY_STEP != 0)
        return;
    m_products[0] += (dNotched * dNotched - m_products[0]) * m_dTonalityWeight;
    double sum = 0.0;
    for (size_t k = 1; k < m_products.size(); ++k) {
        const double past = m_history[(m_nHistory - (size_t(FIRST_LAG) + k - 1)) & mask];
        m_products[k] += (dNotched * past - m_products[k]) * m_dTonalityWeight;
        sum += m_products[k] * m_products[k];
    }
    m_dTonalSum = sum;
}

} // namespace cw
