#pragma once

#include <complex>

namespace cw {

class CarrierReference;

/// Whether the marks of a steady tone are still decided on its tracked phase. Coherence is a
/// gain, not a condition: when the tracked phase stops fitting the marks (drift faster than
/// the carrier loops follow, a phase that starts wandering), the decisions fall back to the
/// phase around each sample until the next transmission is acquired.
///
/// Life: Start() at each transmission acquired, then Push() per average while IsCoherent().
class CoherenceWatch
{
public:
    /// What an average is judged key-down against.
    struct Levels
    {
        float fMark = 0.0f;          ///< the envelope tracker's mark level
        float fNoiseVariance = 0.0f; ///< of the noise in the average
        bool bCrashNear = false;     ///< a crash was blanked within the average's reach
    };

    /// A transmission was acquired; @p bSteady: its tone is steady, decided on in phase.
    void Start(bool bSteady);
    /// The matched filter's @p average, judged against @p levels, and the @p carrier whose
    /// phase it is projected on.
    void Push(const std::complex<float>& average, const Levels& levels,
              const CarrierReference& carrier);

    /// Decide on the in-phase part of the tone.
    bool IsCoherent() const { return m_bCoherent; }

private:
    static bool isKeyDown(float fMagnitude, const Levels& levels);

    bool m_bCoherent = false;
    float m_fCoherence = 1.0f; ///< mean cosine of the key-down phase error
};

} // namespace cw
