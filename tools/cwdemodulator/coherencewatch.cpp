#include "tools/cwdemodulator/coherencewatch.h"

#include "tools/cwdemodulator/carrierreference.h"

#include <cmath>

namespace cw {

namespace {

/// Key-down samples the agreement with the tone's phase is averaged over, and the mean
/// cosine of the phase error under which the tone no longer counts as steady.
constexpr double COHERENCE_MEMORY = 400.0;
constexpr float COHERENCE_LOST = 0.7f;
constexpr float KEY_DOWN_SHARE = 0.8f; ///< share of the mark level a key-down average reaches
/// Or its height over the noise's standard deviation: the phase is then known within a
/// few degrees.
constexpr float KEY_DOWN_OVER_NOISE = 8.0f;

} // namespace

void CoherenceWatch::Start(bool bSteady)
{
    m_bCoherent = bSteady;
    m_fCoherence = 1.0f;
}

bool CoherenceWatch::isKeyDown(float fMagnitude, const Levels& levels)
{
    if (fMagnitude > KEY_DOWN_SHARE * levels.fMark)
        return true;
    // A fade leaves few averages near the tracker's level, which learns from the tops; one
    // that stands clear of the noise shows the phase as surely. Around a crash the filters
    // ring on a phase of their own.
    const float clearOfNoise = KEY_DOWN_OVER_NOISE * KEY_DOWN_OVER_NOISE * levels.fNoiseVariance;
    return !levels.bCrashNear && fMagnitude * fMagnitude > clearOfNoise;
}

void CoherenceWatch::Push(const std::complex<float>& average, const Levels& levels,
                          const CarrierReference& carrier)
{
    // Key-down is judged on the magnitude: a wrong phase hides the marks from the tracker.
    const float magnitude = std::sqrt(std::norm(average));
    if (!isKeyDown(magnitude, levels))
        return;
    const float agreement = carrier.Project(average) / magnitude;
    m_fCoherence += float((agreement - m_fCoherence) / COHERENCE_MEMORY);
    if (m_fCoherence < COHERENCE_LOST)
        m_bCoherent = false;
}

} // namespace cw
