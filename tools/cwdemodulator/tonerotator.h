#pragma once

#include <QtGlobal>

namespace cw {

/// The synthesizer's tone: a phasor turned by a step per sample (the step changes with drift,
/// chirp and phase noise), brought back to unit length every 1024 samples so that rounding
/// neither grows nor shrinks it. Life: Start(), then per sample Sin() and Advance().
class ToneRotator
{
public:
    /// At @p dPhase radians, turning by @p dStep per sample.
    void Start(double dPhase, double dStep);
    /// Back to phase zero, as a keyer that starts each element's tone afresh.
    void Restart()
    {
        m_dCos = 1.0;
        m_dSin = 0.0;
    }
    /// Turns by @p dStep radians per sample from now on.
    void SetStep(double dStep);
    double Sin() const { return m_dSin; }
    /// Turns by one step after sample @p nSample.
    void Advance(qint64 nSample);

private:
    double m_dCos = 1.0;
    double m_dSin = 0.0;
    double m_dStepCos = 1.0;
    double m_dStepSin = 0.0;
};

} // namespace cw
