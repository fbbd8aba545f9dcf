#pragma once

#include <QtGlobal>

#include <complex>

namespace cw {

/// The phase of a tone that starts every element at one phase, its elements keyed on a fixed
/// grid (a generator that counts samples). Against the spectral line at a whole number of
/// cycles per grid step every mark starts in step and turns at its own frequency from there,
/// so in a frame that follows the marks' frequency a mark's phase follows from its start.
/// The segmenter tells it the marks it decided; it gives back, for a mark starting anywhere,
/// the phase expected and how sure that is (a von Mises prior, sure as the marks agree).
/// Life: Start() per transmission on a grid, Learn() per decided mark, Stop().
class RestartGridPhase
{
public:
    /// @p dTurnPerSample: radians the marks' frame turns per sample against the line's;
    /// @p nOrigin: a sample near the start, to count turns from. Nothing is known yet.
    void Start(double dTurnPerSample, qint64 nOrigin);
    /// No grid (until the next Start()): no prior.
    void Stop();
    bool IsActive() const { return m_bActive; }
    /// How far the frame turned by sample @p nSample, as a unit phasor.
    std::complex<double> Rotation(qint64 nSample) const;
    /// Takes the summed samples @p sum of a decided mark that started at sample @p nStart.
    void Learn(std::complex<double> sum, qint64 nStart);
    /// The prior on the phase of a mark whose start turned by @p startRotation: the phase
    /// expected, as a phasor of the prior's concentration (0 while nothing is known).
    std::complex<double> Prior(std::complex<double> startRotation) const
    {
        return m_prior * std::conj(startRotation);
    }
    double Concentration() const { return std::abs(m_prior); }
    /// The mean cosine of the decided marks' phases about the one predicted (their noise
    /// included): how much of a mark's size its projection on that phase keeps, on average.
    /// 0 while nothing is predicted.
    double Agreement() const { return m_dAgreement; }
    /// Whether the decided marks agree so closely that the prior is as sure as it may be: a
    /// mark's phase is then known nearly as well as a steady tone's.
    bool IsSure() const;

private:
    /// Carries the averaged phase forward to a mark starting at @p nStart and learns the rate
    /// it moves at from the mark's phase @p turned (turned back by its start).
    void followRate(std::complex<double> turned, qint64 nStart);

    bool m_bActive = false;
    double m_dTurn = 0.0;
    qint64 m_nOrigin = 0;
    std::complex<double> m_sum; ///< decided marks' sums turned back to their start phase
    double m_dMagnitudes = 0.0; ///< their sizes, weighted as in the sum
    int m_nMarks = 0;           ///< marks learned from
    std::complex<double> m_prior;
    double m_dAgreement = 0.0;
    double m_dRate = 0.0;     ///< radians per sample the grid phase moves at
    double m_dInterval = 0.0; ///< samples between decided marks' starts, averaged
    qint64 m_nLastStart = 0;
};

} // namespace cw
