#pragma once

#include "tools/cwdemodulator/loststretches.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cw {

/// Silences static crashes before they reach the narrow filters, which would otherwise
/// spread a few milliseconds of a crash 40 dB over the tone into a mark-long burst.
/// A crash is told from the tone by what is left when the tone is notched out: a steady tone
/// leaves almost nothing, a crash is broadband. Samples whose notched value stands far above
/// its recent level are set to 0, for a moment after the last one too. A longer run is no
/// crash (a strong tone far off the pitch, a louder noise): it is let through and the level
/// learns it. Life: create, Push() per block.
class ImpulseBlanker
{
public:
    ImpulseBlanker(double dSampleRate, double dPitchHz);

    /// The block with the crashes set to 0; valid until the next call.
    const float* Push(const float* pSamples, size_t nCount);
    /// Samples set to 0 so far.
    long long Blanked() const { return m_state.nBlanked; }
    /// The samples set to 0 of late, counted from the first pushed.
    const LostStretches& Lost() const { return m_lost; }

private:
    /// What changes from sample to sample, copied into locals for each block so that the
    /// per-sample work stays in registers.
    struct State
    {
        float fPrevious[2] = {}; ///< the last two input samples, newest first
        double dLevel = 0.0;     ///< mean magnitude of the notched input, crashes left out
        int nSeen = 0;           ///< samples seen while warming up
        int nHoldLeft = 0;
        int nRun = 0;         ///< samples blanked in a row
        double dRunSum = 0.0; ///< their notched magnitudes summed
        long long nBlanked = 0;
    };

    /// Learns the level from the first samples of @p pSamples while it is not yet trusted;
    /// how many samples that took.
    size_t warmUp(State& state, const float* pSamples, size_t nCount) const;

    /// Judges @p fSample after the warm-up: true when it is to be set to 0.
    inline bool isCrash(State& state, float fSample) const;
    /// Input sample @p nAt was set to 0.
    void noteBlanked(std::int64_t nAt);

    double m_dNotch;          ///< 2 cos(w) of the pitch
    double m_dLevelWeight[2]; ///< of each sample in the level's mean: falling, rising
    double m_dLevelKeep[2];   ///< of the level, per sample: falling, rising
    int m_nWarmUp;            ///< samples before the level is trusted
    int m_nHold;              ///< samples blanked after the last loud one
    int m_nLongest;           ///< longer loud runs are no crash
    State m_state;
    std::vector<float> m_out;
    std::int64_t m_nPushed = 0; ///< input samples before the current block
    LostStretches m_lost;
};

} // namespace cw
