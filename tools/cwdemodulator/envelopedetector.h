#pragma once

#include <cmath>
#include <complex>
#include <vector>

namespace cw {

/// The filter matched to one Morse element: a running coherent average of the baseband over
/// the element length, whose magnitude is the envelope the timing decisions use. The length
/// follows the speed estimate; changing it recomputes the average from the kept history.
class EnvelopeDetector
{
public:
    /// @p nMaxLength bounds the element length in samples (and the history kept).
    explicit EnvelopeDetector(int nMaxLength);

    /// Sets the averaging length (clamped to 1..max); keeps the history.
    void SetLength(int nLength);
    int Length() const { return m_nLength; }
    /// Adds one baseband sample and returns the envelope.
    float Push(std::complex<float> sample) { return std::sqrt(std::norm(PushAverage(sample))); }
    /// Adds one baseband sample and returns the coherent average itself.
    std::complex<float> PushAverage(std::complex<float> sample);
    /// Forgets the history.
    void Reset();

private:
    void recompute();

    std::vector<std::complex<float>> m_history; ///< ring, power-of-two size
    size_t m_nMask = 0;
    size_t m_nWrite = 0;
    int m_nLength = 1;
    double m_dScale = 1.0; ///< 1 / m_nLength, not divided out per sample
    std::complex<double> m_sum;
    unsigned m_nSinceRecompute = 0;
};

} // namespace cw
