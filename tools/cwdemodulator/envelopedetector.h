#pragma once

#include <algorithm>
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

    /// The averaging length for elements of @p dUnit samples: a little less than an element,
    /// so that hand-sent elements and gaps shorter than the nominal unit still stand out.
    static int LengthFor(double dUnit) { return std::max(1, int(std::lround(0.85 * dUnit))); }

    /// Sets the averaging length (clamped to 1..max); keeps the history.
    void SetLength(int nLength);
    int Length() const { return m_nLength; }
    /// Follows an element length that moves: sets the averaging length for @p dUnit where it
    /// differs from the present one by more than the share @p dTolerance. Asked at every
    /// sample while the unit changes far less often, the rounding is redone only when it did.
    void FollowUnit(double dUnit, double dTolerance)
    {
        if (dUnit != m_dFollowedUnit) {
            m_dFollowedUnit = dUnit;
            m_nFollowedLength = LengthFor(dUnit);
        }
        if (std::abs(double(m_nFollowedLength) / m_nLength - 1.0) > dTolerance)
            SetLength(m_nFollowedLength);
    }
    /// Adds one baseband sample and returns the envelope.
    float Push(std::complex<float> sample) { return std::sqrt(std::norm(PushAverage(sample))); }
    /// Adds one baseband sample and returns the coherent average itself (inline: it runs on
    /// every baseband sample, and in the speed search's loops).
    std::complex<float> PushAverage(std::complex<float> sample)
    {
        const std::complex<float>& leaving = m_history[(m_nWrite - size_t(m_nLength)) & m_nMask];
        m_sum += std::complex<double>(sample.real(), sample.imag());
        m_sum -= std::complex<double>(leaving.real(), leaving.imag());
        m_history[m_nWrite] = sample;
        m_nWrite = (m_nWrite + 1) & m_nMask;
        if (++m_nSinceRecompute >= RECOMPUTE_INTERVAL)
            recompute();
        return std::complex<float>(float(m_sum.real() * m_dScale), float(m_sum.imag() * m_dScale));
    }
    /// Forgets the history.
    void Reset();

    /// What a fresh detector of length @p nLength gives for each of @p nCount samples, the
    /// envelope or (@p bInPhase) the average's in-phase part, to the bit, into @p pOut. A
    /// whole stretch at once needs no history ring: the sample leaving the average is still
    /// in the input. The speed search makes one such pass per trial length.
    static void AverageOf(const std::complex<float>* pSamples, size_t nCount, int nLength,
                          bool bInPhase, float* pOut);

private:
    /// The running sum is rebuilt this often so rounding cannot pile up.
    static constexpr unsigned RECOMPUTE_INTERVAL = 1u << 16;

    void recompute();

    /// A ring of its own, power-of-two size, rather than a dsp::RingBuffer: the speed search
    /// runs PushAverage() in its innermost loop, where the masked index keeps it inlined and
    /// half the cost of the general ring's.
    std::vector<std::complex<float>> m_history;
    size_t m_nMask = 0;
    size_t m_nWrite = 0;
    int m_nLength = 1;
    double m_dScale = 1.0; ///< 1 / m_nLength, not divided out per sample
    std::complex<double> m_sum;
    unsigned m_nSinceRecompute = 0;
    double m_dFollowedUnit = -1.0; ///< the unit FollowUnit() was last given
    int m_nFollowedLength = 0;     ///< LengthFor() that unit
};

} // namespace cw
