#pragma once

#include "tools/cwdemodulator/loststretches.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cw {

/// Undoes a receiver's AGC pumping after static crashes: the receiver cuts its gain at once on
/// a crash, tone and noise alike, and lets it creep back over a second or so, faster than the
/// levels learned from the marks follow. The noise measures the gain: with the tone notched
/// out, what is left is noise whatever the keying. Where its mean over the last milliseconds
/// fell well under its highest of the last seconds, the gain was cut, and the samples are
/// raised by the shortfall. Not where the notch leaves a tone (a stronger neighbour, whose
/// pauses would look like cuts), nor without noise to measure; a steady gain passes untouched.
/// The crash itself, which the receiver limited to a few times the tone (too little for the
/// blanker) while cutting the tone under it, is told as a stretch in which the tone was lost.
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
    /// The stretches of late in which a crash the receiver limited buried the tone (its
    /// gain fell under the crash), counted from the first sample pushed.
    const LostStretches& Lost() const { return m_lost; }

private:
    /// What changes from sample to sample, copied into locals for each block so that the
    /// per-sample work stays in registers.
    struct State
    {
        double dPrevious[2] = {}; ///< the last two samples, newest first
        int nSkip = 0;            ///< notched samples still disturbed by a silenced crash
        int nSeen = 0;
        double dFollowed = 0.0;   ///< mean notched magnitude of late
        double dQuick = 0.0;      ///< the same over the last moment
        double dUsual = 0.0;      ///< its highest of the last seconds
        double dInput = 0.0;      ///< mean magnitude of the input of late
        double dUsualInput = 0.0; ///< its highest of the last seconds
        float fGain = 1.0f;
        bool bCut = false;            ///< the noise fell deep enough, and is not back yet
        std::size_t nHistory = 0;     ///< the newest of the notched samples kept
        std::int64_t nAt = -1;        ///< the sample judged, counted from the first
        std::int64_t nLoudFrom = -1;  ///< first sample of the latest loud stretch
        std::int64_t nLoudUntil = -1; ///< one past its last
        bool bLoudPending = false;    ///< it may be a crash: the noise is to fall after it
    };

    /// The gain the sample is divided by: 1 outside a cut. @p bWarmingUp: fewer than the
    /// warm-up's samples were seen yet.
    template <bool bWarmingUp> inline float gainFor(State& state, float fSample);
    /// Learns from the first samples, before anything is judged against their means.
    inline void warmUp(State& state, double dSample, double dMagnitude) const;
    inline void learnTonality(State& state, double dNotched);
    /// Notes the quick mean standing far over the usual noise, and the stretch it made
    /// once it ended.
    inline void watchLoudness(State& state);
    /// Whether the notch leaves a tone, from the products learnt so far.
    bool isTonal() const;

    double m_dNotch;           ///< 2 cos(w) of the pitch
    double m_dFollowWeight;    ///< of each sample in the noise followed
    double m_dFollowKeep;      ///< of the noise followed, per sample
    double m_dLoudestWeighted; ///< the most a sample adds to it, over the noise followed
    double m_dQuickWeight;     ///< of each sample in the quick mean
    double m_dQuickKeep;       ///< of the quick mean, per sample
    double m_dUsualDecay;      ///< of the usual noise, per sample
    double m_dUsualDecayInCut; ///< the same through a cut
    double m_dTonalityWeight;  ///< of each sample in the products
    int m_nWarmUp;             ///< samples the noise followed is a plain mean of
    int m_nShortestLoud;       ///< samples a crash is at least loud
    int m_nLongestLoud;        ///< and at most
    int m_nLoudBefore;         ///< samples lost before a loud stretch
    int m_nLoudAfter;          ///< and after it
    State m_state;
    static constexpr std::size_t HISTORY = 16; ///< notched samples kept (a power of 2)
    static constexpr std::size_t LAGS = 8;     ///< products with the past learnt
    /// The last notched samples, each written twice, HISTORY apart, so that the lags of the
    /// newest lie side by side.
    std::array<double, 2 * HISTORY> m_history{};
    double m_dPower = 0.0; ///< mean power of the notched samples
    /// Their mean products with the past at the lags from FIRST_LAG, the longest lag first.
    std::array<double, LAGS> m_products{};
    std::vector<float> m_out;
    LostStretches m_lost;
};

} // namespace cw
