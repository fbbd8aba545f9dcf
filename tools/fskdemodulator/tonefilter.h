#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace fsk {

/// The matched filter of one FSK tone: mixes the tone down to zero and sums the last bit's
/// worth of samples, so that its output at the end of a bit is the tone's complex amplitude
/// over that bit (the optimum non-coherent detector for a rectangular keyed tone).
class ToneFilter
{
public:
    ToneFilter(double dFrequencyHz, double dSampleRate, size_t nLength);

    /// Takes one sample; returns the tone's amplitude over the last nLength samples.
    float Push(float fSample);
    /// Forgets the samples summed so far (the tuning stays).
    void Clear();
    double FrequencyHz() const { return m_dFrequencyHz; }
    /// Mixes from now on with @p dFrequencyHz; the samples already summed stay as they were.
    void Retune(double dFrequencyHz);
    /// The complex sum behind the last amplitude; it turns at the tone's offset from the tuning.
    std::complex<double> Sum() const { return {m_sumRe, m_sumIm}; }

private:
    double m_dFrequencyHz;
    double m_dSampleRate;
    std::complex<double> m_phasor{1.0, 0.0};
    std::complex<double> m_step;
    unsigned m_nSinceRenormalise = 0;
    std::vector<std::complex<float>> m_ring; ///< the mixed samples now in the sum
    size_t m_nNext = 0;
    double m_sumRe = 0.0;
    double m_sumIm = 0.0;
    float m_fScale;
};

} // namespace fsk
