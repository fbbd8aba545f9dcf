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

} // namespace

void CoherenceWatch::Start(bool bSteady)
{
    m_bCoherent = bSteady;
    m_fCoherence = 1.0f;
}

void CoherenceWatch::Push(const std::complex<float>& average, float fMarkLevel,
                          const CarrierReference& carrier)
{
    // Key-down is judged on the magnitude: a wrong phase hides the marks from the tracker.
    const float magnitude = std::sqrt(std::norm(average));
    if (magnitude <= KEY_DOWN_SHARE * fMarkLevel)
        return;
    const float agreement = carrier.Project(average) / magnitude;
    m_fCoherence += float((agreement - m_fCoherence) / COHERENCE_MEMORY);
    if (m_fCoherence < COHERENCE_LOST)
        m_bCoherent = false;
}

} // namespace cw
