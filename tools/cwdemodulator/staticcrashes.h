#pragma once

#include <QtGlobal>

#include <random>

namespace cw {

/// Impulsive static for the synthesizer: bursts of noise 2 to 10 ms long that decay over their
/// length to a tenth, at random times, peaking a given level over the tone. Life: create, Next()
/// per sample.
class StaticCrashes
{
public:
    /// @p dPerSec crashes a second on average, peaking @p dCrashDb over the tone's peak.
    StaticCrashes(double dSampleRate, double dPerSec, double dCrashDb);

    /// The next sample of static over a tone of peak @p dTone, drawn from @p random (which the
    /// synthesizer's other impairments share).
    double Next(std::mt19937& random, double dTone);

private:
    double m_dSampleRate;
    double m_dPerSec;
    double m_dCrashDb;
    qint64 m_nLeft = 0; ///< samples of the current crash still to come
    double m_dAmplitude = 0.0;
    double m_dDecay = 1.0; ///< of the amplitude, per sample
};

} // namespace cw
