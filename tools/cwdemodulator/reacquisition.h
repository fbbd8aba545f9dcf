#pragma once

#include "tools/morsedsp/slidingrun.h"

#include <complex>
#include <cstdint>

namespace cw {

class SpeedAcquisition;

/// Acquires the speed afresh when the tracking lost the timing (a change of speed beyond what
/// it follows): keeps the last seconds of baseband while a transmission is tracked, hands
/// them back to the acquisition, and keeps the replay of those seconds from giving out again
/// what was given out of them before, unless the speed found differs.
///
/// Life: Push() per sample tracked, Begin() when the timing is lost, Settle() once the
/// acquisition found the speed; ReplayedThrough() speaks for the symbols to give out.
class Reacquisition
{
public:
    explicit Reacquisition(double dSampleRate);

    /// The next baseband sample tracked.
    void Push(std::complex<float> sample);
    /// Forgets the samples kept (a new transmission begins).
    void Clear() { m_recent.Clear(); }
    /// The timing was lost before baseband index @p nNext, at element length @p dUnit, with
    /// symbols given out up to input sample @p nGivenOut: the last seconds go back to
    /// @p acquisition, never from before the last time.
    void Begin(std::int64_t nNext, double dUnit, std::int64_t nGivenOut,
               SpeedAcquisition& acquisition);
    /// The acquisition found element length @p dUnit.
    void Settle(double dUnit);
    /// Symbols up to this input sample were given out already: the replay does not repeat
    /// them.
    std::int64_t ReplayedThrough() const { return m_nReplayedThrough; }

private:
    double m_dSampleRate;
    dsp::SlidingRun<std::complex<float>> m_recent; ///< the last seconds as they came in
    std::int64_t m_nReacquiredAt = 0; ///< baseband index the last re-acquisition began from
    /// While a re-acquisition is pending: the element length tracked and the last symbol
    /// position given out before it.
    double m_dUnitBefore = 0.0;
    std::int64_t m_nGivenOutBefore = -1;
    std::int64_t m_nReplayedThrough = -1;
};

} // namespace cw
