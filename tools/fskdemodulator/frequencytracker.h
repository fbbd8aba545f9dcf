#pragma once

#include <complex>
#include <cstddef>

namespace fsk {

/// Follows a common drift of both tones: the complex sums of the two matched filters turn at
/// the tones' offset from their tuning. Every half bit the turn since the last look is
/// measured on both tones, weighted by their strength (so the tone that is on counts), and the
/// offset moves a small step towards it.
class FrequencyTracker
{
public:
    FrequencyTracker(double dSampleRate, double dBitSamples, double dMaxOffsetHz);

    /// Takes both filters' sums after a sample; true when the offset has moved.
    bool Push(std::complex<double> mark, std::complex<double> space);
    /// How far the tones lie above their first tuning.
    double OffsetHz() const { return m_dOffsetHz; }

private:
    const double m_dSampleRate;
    const size_t m_nInterval;
    const double m_dMaxOffsetHz;
    size_t m_nCount = 0;
    std::complex<double> m_previousMark;
    std::complex<double> m_previousSpace;
    std::complex<double> m_turn; ///< the recent turns, averaged
    double m_dTurnSize = 0.0;    ///< the recent turns' sizes, averaged
    double m_dOffsetHz = 0.0;
};

} // namespace fsk
