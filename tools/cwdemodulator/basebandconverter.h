#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace cw {

class RealTapFilter;

/// Moves the CW tone to 0 Hz and lowers the sample rate: removes DC, mixes the real input
/// down with an oscillator at the pitch and decimates through a Kaiser-windowed polyphase
/// FIR decimator to roughly 1000 (or a given rate of) complex samples per second. The output
/// does not depend on
/// how the input is cut into blocks. This runs on every input sample, so the oscillator
/// reads a table of one period of phasors (advanced by one correction per table length)
/// rather than computing each phasor.
class BasebandConverter
{
public:
    /// The output at about @p dBasebandRate samples per second.
    BasebandConverter(double dSampleRate, double dPitchHz, double dBasebandRate = BASEBAND_RATE);
    ~BasebandConverter();
    BasebandConverter(const BasebandConverter&) = delete;
    BasebandConverter& operator=(const BasebandConverter&) = delete;

    /// Converts @p nCount samples; appends the baseband samples now complete to @p out.
    void Process(const float* pSamples, size_t nCount, std::vector<std::complex<float>>& out);

    int Decimation() const { return m_nDecimation; }
    double OutputRate() const { return m_dSampleRate / m_nDecimation; }
    /// Delay of the decimating filter, in input samples.
    int DelayInputSamples() const { return m_nDecimation * FILTER_DELAY; }

    /// Decimation giving roughly @p dBasebandRate output samples per second at @p dSampleRate.
    static int DecimationFor(double dSampleRate, double dBasebandRate = BASEBAND_RATE);

    /// Baseband samples per second unless told otherwise: a tenth of the shortest element
    /// at 60 WPM, and room for the tone's drift and the neighbours the channel filter stops.
    static constexpr double BASEBAND_RATE = 1000.0;

private:
    static constexpr int FILTER_DELAY = 3; ///< filter half-length in output samples
    static constexpr size_t CHUNK = 4096;  ///< input samples converted per inner step
    static constexpr size_t DC_GROUP = 4;  ///< samples per step of the running mean's chain

    /// Takes the running mean out of @p nCount samples (at most CHUNK) into @p pOut.
    void removeDc(const float* pSamples, size_t nCount, float* pOut);
    /// One sample of a group begun in an earlier block: returns the mean after it.
    float stepDc(float fSample);

    double m_dSampleRate;
    int m_nDecimation;
    std::unique_ptr<RealTapFilter> m_pDecimator;
    size_t m_nHistory = 0;     ///< past samples the decimator reaches back to, ahead of m_mixed
    float m_fDcLevel = 0.0f;   ///< running mean removed from the input, before the current group
    float m_fDcSum = 0.0f;     ///< the current group's samples so far, weighed and decayed
    size_t m_nDcPhase = 0;     ///< samples of the current group taken
    float m_dcDecay[DC_GROUP]; ///< (1 - w)^(k+1): what the group's start level keeps at k
    std::vector<std::complex<float>> m_phasors; ///< e^{-j w n} for one table length
    size_t m_nPhasorIndex = 0;
    std::complex<double> m_tableStart{1.0, 0.0}; ///< phase at the table's first entry
    std::complex<double> m_tableStep{1.0, 0.0};  ///< phase advance over one table length
    std::complex<float> m_tableStartFloat{1.0f, 0.0f};
    /// The history, then mixed samples waiting; grown to the blocks the caller gives.
    std::vector<std::complex<float>> m_mixed;
    size_t m_nPending = 0;
};

} // namespace cw
