#pragma once

#include <complex>

namespace cw {

class CarrierReference;

/// Whether the marks of a steady tone are still decided on its tracked phase. Coherence is a
/// gain, not a condition: when the tracked phase stops fitting the marks (drift faster than
/// the carrier loops follow, a phase that starts wandering), the decisions fall back to the
/// phase around each sample until the next transmission is acquired.
///
/// Life: Start() at each transmission acquired, then Push() per key-down average while
/// IsCoherent().
class CoherenceWatch
{
public:
    /// A transmission was acquired; @p bSteady: its tone is steady, decided on in phase.
    void Start(bool bSteady);
    /// The matched filter's @p average, its key-down judged against @p fMarkLevel, and the
    /// @p carrier whose phase it is projected on.
    void Push(const std::complex<float>& average, float fMarkLevel,
              const CarrierReference& carrier);

    /// Decide on the in-phase part of the tone.
    bool IsCoherent() const { return m_bCoherent; }

private:
    bool m_bCoherent = false;
    float m_fCoherence = 1.0f; ///< mean cosine of the key-down phase error
};

} // namespace cw
