#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace cw {

/// Undoes a receiver's AGC pumping after static crashes: the receiver cuts its gain at once on
/// a crash, tone and noise alike, and lets it creep back over a second or so, faster than the
/// levels learned from the marks follow. The noise measures the gain: with the tone notched
/// out, what is left is noise whatever the keying. Where its mean over the last milliseconds
/// fell well under its highest of the last seconds, the gain was cut, and the samples are
/// raised by the shortfall. Not where the notch leaves a tone (a stronger neighbour, whose
/// pauses would look like cuts), nor without noise to measure; a steady gain passes untouched.
/// Driven by the demodulator behind the impulse blanker.
///
/// Life: create once the pitch is known, Push() per block.
class AgcRecovery
{
public:
    AgcRecovery(double dSampleRate, double dPitchHz);

    /// @p pSamples come with the crashes set to 0. Returns them with the gain cuts taken out
    /// (the block itself when there were none); valid until the next call.
    const float* Push(const float* pSamples, size_t nCount);

private:
    /// The gain the sample is divided by: 1 outside a cut.
    float gainFor(float fSample);
    void learnTonality(double dNotched);

    double m_dNotch;           ///< 2 cos(w) of the pitch
    double m_dFollowWeight;    ///< of each sample in the noise followed
    double m_dQuickWeight;     ///< of each sample in the quick mean
    double m_dUsualDecay;      ///< of the usual noise, per sample
    double m_dTonalityWeight;  ///< of each sample in the products
    int m_nWarmUp;             ///< samples the noise followed is a plain mean of
    float m_fPrevious[2] = {}; ///< the last two samples, newest first
    int m_nSkip = 0;           ///< notched samples still disturbed by a silenced crash
    int m_nSeen = 0;
    double m_dFollowed = 0.0;   ///< mean notched magnitude of late
    double m_dQuick = 0.0;      ///< the same over the last moment
    double m_dUsual = 0.0;      ///< its highest of the last seconds
    double m_dInput = 0.0;      ///< mean magnitude of the input of late
    double m_dUsualInput = 0.0; ///< its highest of the last seconds
    float m_fGain = 1.0f;
    bool m_bCut = false;                ///< the noise fell deep enough, and is not back yet
    std::array<double, 16> m_history{}; ///< the last notched samples (a power of 2)
    std::size_t m_nHistory = 0;         ///< the newest of them
    std::array<double, 9> m_products{}; ///< mean power, then products at the lags from FIRST_LAG
    double m_dTonalSum = 0.0;           ///< squared products summed
    std::vector<float> m_out;
};

} // namespace cw
