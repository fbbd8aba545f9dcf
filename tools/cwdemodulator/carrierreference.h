#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace cw {

/// The frequency and phase of a CW tone, for coherent detection. Measures the tone's remaining
/// frequency offset in the baseband from the spectral line of a few seconds of signal,
/// removes it, then follows it with a frequency-locked loop on the key-down samples (drift)
/// and keeps a slowly averaged phase. Projecting the matched filter's output on that phase
/// halves the noise the decisions see, compared with taking its magnitude. A tone whose
/// phase is not steady (restarting at each element, wandering) is reported as such; its
/// frequency is still followed.
class CarrierReference
{
public:
    /// What the held samples show.
    enum class Tone
    {
        None,     ///< no mark near the expected frequency
        Steady,   ///< one phase holds from mark to mark: detect coherently
        Unsteady, ///< the phase moves between marks (restarts, wandering, fast drift)
    };

    explicit CarrierReference(double dSampleRate);
    ~CarrierReference();

    /// Learns offset and phase from @p nCount held samples, in which the averages over
    /// @p nLength samples above @p fThreshold are key-down.
    Tone Learn(const std::complex<float>* pSamples, size_t nCount, int nLength, float fThreshold);
    /// The in-phase parts of the samples learned from (as the real parts of @p out), as
    /// Derotate() and Project() will see them; leaves the reference as it is.
    void ProjectLearned(const std::complex<float>* pSamples, size_t nCount,
                        std::vector<std::complex<float>>& out) const;
    /// The samples learned from with the offset removed, as Derotate() will see them.
    void DerotateLearned(const std::complex<float>* pSamples, size_t nCount,
                         std::vector<std::complex<float>>& out) const;
    /// Removes the frequency offset; call once per sample, in order, from the held samples on.
    /// (Inline: a std::complex<float> returned from a call is put together through memory,
    /// and the caller's next step loads it at once before the parts are written out.)
    std::complex<float> Derotate(const std::complex<float>& sample)
    {
        // Products written out: std::complex's check for infinities costs more than the work.
        const double rr = m_rotator.real();
        const double ri = m_rotator.imag();
        const std::complex<double> corrected(sample.real() * rr - sample.imag() * ri,
                                             sample.real() * ri + sample.imag() * rr);
        m_rotator = std::complex<double>(rr * m_step.real() - ri * m_step.imag(),
                                         rr * m_step.imag() + ri * m_step.real());
        if (++m_nSinceNormalise >= 4096) {
            m_rotator /= std::abs(m_rotator);
            m_nSinceNormalise = 0;
        }
        return std::complex<float>(float(corrected.real()), float(corrected.imag()));
    }
    /// The part of a matched filter output in phase with the tone.
    float Project(std::complex<float> average) const
    {
        return average.real() * m_phase.real() + average.imag() * m_phase.imag();
    }
    /// The part of a sample in quadrature with the tone: noise alone.
    float Quadrature(std::complex<float> sample) const
    {
        return sample.imag() * m_phase.real() - sample.real() * m_phase.imag();
    }
    /// Follows slow phase drift with a key-down matched filter output (steady tones).
    void Update(std::complex<float> average);
    /// Follows the frequency inside the marks with a key-down matched filter output, however
    /// the phase moves between them (unsteady tones).
    void FollowFrequency(std::complex<float> average);
    /// The key went up: the next FollowFrequency() starts a new mark.
    void KeyUp();

    double OffsetHz() const { return m_dOffsetHz; }
    /// An unsteady tone from a generator that starts every element at one phase on a fixed
    /// element grid: against the spectral line at a whole number of cycles per grid step
    /// every mark starts in step, so each mark's phase follows from its start. Its frequency
    /// is not followed (FollowFrequency() would move the frame the phases are told in).
    bool HasRestartGrid() const { return m_bRestartGrid; }
    /// How fast (Hz) the frame Derotate() gives turns against the one in which the marks
    /// start in step.
    double TurnAgainstGridHz() const { return m_dTurnAgainstGridHz; }
    /// Variance of the quadrature part (the noise) over the samples learned from.
    float NoiseVariance() const { return m_fNoiseVariance; }

private:
    /// The offset (Hz) of the spectral line of @p nCount samples, within the search.
    double lineOffset(const std::complex<float>* pSamples, size_t nCount) const;
    /// The transform of @p nCount samples zero-padded to @p nCoarse points, valid within
    /// MAX_OFFSET_HZ of 0: bin k at index k & (@p nCoarse - 1), @p nCoarse then the points
    /// actually transformed. Valid until the next transform of that size.
    const std::complex<float>* coarseSpectrum(const std::complex<float>* pSamples, size_t nCount,
                                              size_t& nCoarse) const;
    void setOffset(double dOffsetHz);
    /// Changes the frequency removed without a jump in phase.
    void setFrequency(double dOffsetHz);
    float measureNoise(const std::complex<float>* pSamples, size_t nCount,
                       std::complex<double> phase) const;
    Tone learnUnsteady(const std::complex<float>* pSamples, size_t nCount, int nLength,
                       float fThreshold, double dResidualHz);
    void correctedAverages(const std::complex<float>* pSamples, size_t nCount, int nLength,
                           std::vector<std::complex<float>>& out) const;
    /// A stretch of key-down averages: one mark, as seen through the matched filter.
    struct KeyDownRun
    {
        std::complex<double> sum;  ///< of the averages
        std::complex<double> turn; ///< summed turns from one average to the next
        double dStartSec;
        int nLength;  ///< samples
        size_t nLast; ///< the last key-down average
    };
    /// The marks in @p nCount held samples, with the offset removed.
    std::vector<KeyDownRun> keyDownRuns(const std::complex<float>* pSamples, size_t nCount,
                                        int nLength, float fThreshold) const;
    /// How far a tone's marks turn inside against the offset removed: each mark summed on its
    /// own phase, they add up best at the frequency inside them.
    struct MarkTurn
    {
        double dHz = 0.0;   ///< the turn inside the marks
        double dGain = 0.0; ///< log likelihood of that turn over none
    };
    MarkTurn turnOfMarks(const std::complex<float>* pSamples, size_t nCount,
                         const std::vector<KeyDownRun>& runs, int nLength) const;
    /// Looks for the turn against the marks' frequency under which all the marks start in
    /// step; sets the restart grid when one is found.
    void findRestartGrid(const std::vector<KeyDownRun>& runs);
    /// The frequency (Hz) the key-down averages still turn at with the offset removed.
    double keyDownTurnHz(const std::complex<float>* pSamples, size_t nCount, int nLength,
                         float fThreshold) const;

    double m_dSampleRate;
    double m_dOffsetHz = 0.0;
    bool m_bRestartGrid = false;
    double m_dTurnAgainstGridHz = 0.0;
    float m_fNoiseVariance = 0.0f;
    std::complex<double> m_rotator{1.0, 0.0};
    std::complex<double> m_step{1.0, 0.0};
    unsigned m_nSinceNormalise = 0;
    std::complex<float> m_average{1.0f, 0.0f};
    std::complex<float> m_phase{1.0f, 0.0f};
    float m_fWeight = 0.0f;
    std::complex<float> m_previous; ///< last key-down average, 0 after key-up
    std::complex<double> m_turn;    ///< summed phase turns since the last correction
    int m_nTurnSamples = 0;
};

} // namespace cw
