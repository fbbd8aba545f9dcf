#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace cw {

/// Finds the CW signals in a band from a spectrum per frame (the channelizer's Hann power):
/// spectral lines whose key-down level stands several dB over the noise floor and that key
/// on and off. What a strong signal makes around itself is not a signal: a much weaker line
/// that is never on while the stronger one is off (its sidebands, key clicks, harmonics,
/// intermodulation, its leakage into a neighbour's bins) is rejected, as are lines too close
/// to a stronger one.
/// Noise peaks stay far below the threshold, which is set for the key-down level over the
/// last few seconds.
class SignalFinder
{
public:
    struct Settings
    {
        double dBinHz = 4.0;
        size_t nBins = 0;       ///< bins of each power spectrum
        double dFrameSec = 0.1; ///< time between spectra
        double dLowHz = 0.0;    ///< band searched
        double dHighHz = 0.0;
        double dMinSnrDb = -8.0; ///< key-down tone power over the noise in 2500 Hz
    };

    struct Line
    {
        double dPitchHz = 0.0;
        double dSnrDb = 0.0;        ///< key-down power over the noise in 2500 Hz
        size_t nOnsetFramesAgo = 0; ///< spectra since it was first keyed in the memory
    };

    explicit SignalFinder(const Settings& settings);

    /// Takes the next spectrum (powers: none negative) and updates Lines().
    void Push(const std::vector<float>& power);
    /// The signals present in the last few seconds, strongest first.
    const std::vector<Line>& Lines() const { return m_lines; }
    /// Whether a line within @p dReachHz of @p dPitchHz still reaches half the threshold in
    /// the last few seconds: a signal found goes on until it has been silent that long.
    bool IsActive(double dPitchHz, double dReachHz) const;
    /// Whether the latest spectrum has a line within @p dReachHz of @p dPitchHz: the signal
    /// is keyed in this frame, not just in the last few seconds.
    bool IsLoudNow(double dPitchHz, double dReachHz) const;
    /// Mean noise power per bin.
    double NoiseFloor() const { return m_dNoise; }

private:
    struct Candidate
    {
        size_t nBin;
        float fKeyDown;
    };

    /// The band's bins within @p dReachHz of @p dPitchHz, as [first, end).
    std::pair<size_t, size_t> binsNear(double dPitchHz, double dReachHz) const;
    void updateNoise(const std::vector<float>& power);
    /// Spectra remembered so far, up to the memory's depth.
    size_t spectra() const { return m_history.front().size(); }
    void remember(size_t nBand, float fPower);
    bool isKeyed(size_t nBand) const;
    size_t onsetFramesAgo(size_t nBand) const;
    bool isEchoOf(const Candidate& weak, const Candidate& strong) const;
    bool keysOnlyWith(size_t nWeak, size_t nStrong) const;
    double interpolatedPitch(size_t nBin) const;

    Settings m_settings;
    size_t m_nLowBin;
    size_t m_nHighBin;
    std::vector<dsp::RingBuffer<float>> m_history; ///< per band bin, the latest powers
    std::vector<float> m_keyDown;                  ///< per band bin, highest power remembered
    std::vector<std::uint32_t> m_counts;           ///< room for the noise's median
    std::vector<std::uint32_t> m_kept;             ///< the band's values the median may still be
    double m_dNoise = 0.0;
    double m_dThresholdRatio; ///< key-down power over the mean noise per bin
    std::vector<Line> m_lines;
};

} // namespace cw
