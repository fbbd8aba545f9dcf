#pragma once

#include <cstddef>
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
    long long Blanked() const { return m_nBlanked; }

private:
    inline float blank(float sample);

    double m_dNotch;           ///< 2 cos(w) of the pitch
    float m_fPrevious[3] = {}; ///< the last three input samples, newest first
    double m_dLevel = 0.0;     ///< mean magnitude of the notched input, crashes left out
    double m_dLevelWeight;     ///< of each sample in that mean
    int m_nWarmUp;             ///< samples before the level is trusted
    int m_nSeen = 0;
    int m_nHold;    ///< samples blanked after the last loud one
    int m_nLongest; ///< longer loud runs are no crash
    int m_nHoldLeft = 0;
    int m_nRun = 0; ///< samples blanked in a row
    long long m_nBlanked = 0;
    std::vector<float> m_out;
};

} // namespace cw
