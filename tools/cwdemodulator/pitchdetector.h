#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace cw {

/// Finds the tone of a CW signal: averages the power spectrum of overlapping Hann-windowed
/// segments and looks for a clear peak between the lowest and highest allowed pitch.
/// The demodulator feeds it audio until HasPitch() is true.
class PitchDetector
{
public:
    PitchDetector(double dSampleRate, double dMinHz, double dMaxHz);
    ~PitchDetector();
    PitchDetector(const PitchDetector&) = delete;
    PitchDetector& operator=(const PitchDetector&) = delete;

    /// Adds samples; the spectrum is updated once per half segment, whatever the block size.
    void Add(const float* pSamples, size_t nCount);
    /// A tone stands clearly above the noise.
    bool HasPitch() const { return m_dPeakRatio >= CLEAR_PEAK_RATIO; }
    /// The strongest tone so far (Hz, interpolated between bins); 0 before the first segment.
    double Pitch() const { return m_dPitch; }
    /// The peak's power over the band's median power.
    double PeakRatio() const { return m_dPeakRatio; }
    /// Number of input samples one spectrum update consumes.
    size_t HopSize() const { return m_nSize / 2; }

    static constexpr double CLEAR_PEAK_RATIO = 8.0;

private:
    void analyseSegment();

    double m_dSampleRate;
    size_t m_nSize = 0;
    size_t m_nMinBin = 0;
    size_t m_nMaxBin = 0;
    std::shared_ptr<const std::vector<float>> m_pWindow;
    dsp::RingBuffer<float> m_segment; ///< the last m_nSize samples
    size_t m_nSinceUpdate = 0;
    std::vector<float> m_power; ///< exponentially averaged power per bin
    std::vector<float> m_scratch;
    int m_nUpdates = 0;
    double m_dPitch = 0.0;
    double m_dPeakRatio = 0.0;
};

} // namespace cw
