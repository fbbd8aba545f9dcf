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

} // namespace

ImpulseBlanker::ImpulseBlanker(double dSampleRate, double dPitchHz)
    : m_dNotch(2.0 * std::cos(dsp::TWO_PI * dPitchHz / dSampleRate)),
      m_dLevelWeight(1.0 / (LEVEL_MEMORY_SEC * dSampleRate)),
      m_nWarmUp(int(LEVEL_MEMORY_SEC * dSampleRate)),
      m_nHold(std::max(1, int(HOLD_SEC * dSampleRate))),
      m_nLongest(int(LONGEST_CRASH_SEC * dSampleRate))
{
}

inline float ImpulseBlanker::blank(float sample)
{
    // The tone at the pitch cancels in x[n] - 2 cos(w) x[n-1] + x[n-2].
    m_fPrevious[2] = m_fPrevious[1];
    m_fPrevious[1] = m_fPrevious[0];
    m_fPrevious[0] = sample;
    const double notched =
        std::abs(double(sample) - m_dNotch * double(m_fPrevious[1]) + double(m_fPrevious[2]));
    if (m_nSeen < m_nWarmUp) {
        // The mean of the first samples, before anything is judged against it.
        m_dLevel += (notched - m_dLevel) / double(++m_nSeen);
        return sample;
    }
    // A crash is broadband, so the notch leaves most of it; a tone, however clean and strong
    // against the level (a recording without noise), leaves little of itself.
    const bool loud = notched > CRASH_OVER_LEVEL * m_dLevel &&
                      notched > BROADBAND_SHARE * std::max({std::abs(double(sample)),
                                                            std::abs(double(m_fPrevious[1])),
                                                            std::abs(double(m_fPrevious[2]))});
    if (loud)
        m_nHoldLeft = m_nHold;
    if (m_nHoldLeft > 0 && m_nRun < m_nLongest) {
        --m_nHoldLeft;
        ++m_nRun;
        ++m_nBlanked;
        return 0.0f;
    }
    // Not a crash, or too long for one: the level learns it.
    m_nHoldLeft = loud ? m_nHoldLeft : 0;
    m_nRun = loud ? m_nRun : 0;
    const double weight = notched > m_dLevel ? m_dLevelWeight : m_dLevelWeight / LEVEL_FALL_SLOWER;
    m_dLevel += (notched - m_dLevel) * weight;
    return sample;
}

const float* ImpulseBlanker::Push(const float* pSamples, size_t nCount)
{
    // Blocks without a crash pass through without a copy.
    float* out = nullptr;
    for (size_t i = 0; i < nCount; ++i) {
        const float sample = blank(pSamples[i]);
        if (!out && sample != pSamples[i]) {
            m_out.assign(pSamples, pSamples + nCount);
            out = m_out.data();
        }
        if (out)
            out[i] = sample;
    }
    return out ? out : pSamples;
}

} // namespace cw
