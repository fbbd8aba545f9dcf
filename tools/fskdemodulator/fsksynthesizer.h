#pragma once

#include "tools/fskdemodulator/fskdemodulator_export.h"
#include "tools/fskdemodulator/ita2alphabet.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace fsk {

/// Renders text as a phase-continuous FSK teleprinter signal, for tests, demos and benches:
/// idle mark, the characters with their shifts, idle mark. Optionally adds white noise (SNR in
/// 2500 Hz), a slow frequency drift, selective fading (the two tones fade in turn) and a
/// weaker neighbouring teleprinter signal.
class FSKDEMODULATOR_EXPORT FskSynthesizer
{
public:
    struct Settings
    {
        int nSampleRate = 8000;
        double dBaud = 45.45;
        double dMarkHz = 1585.0;
        double dShiftHz = 170.0;
        bool bReversed = false; ///< mark below space
        double dStopBits = 1.5;
        bool bNoise = false;
        double dSnrDb = 20.0;
        double dDriftHzPerSec = 0.0;
        double dFadeHz = 0.0; ///< selective fading rate; 0 for none
        double dFadeDepthDb = 20.0;
        double dNeighbourOffsetHz = 0.0; ///< 0 for no neighbour
        double dNeighbourDb = -6.0;      ///< its level against the wanted signal
        double dIdleSec = 0.5;           ///< idle mark before and after the text
        Ita2Alphabet::FigureSet figures = Ita2Alphabet::eITA2;
        uint32_t uSeed = 1;
    };

    explicit FskSynthesizer(const Settings& settings);

    /// Sets the text; false (with ErrorString()) when a character has no 5-bit code.
    bool SetText(const std::string& strText);
    /// Renders up to @p nMax samples; 0 when the recording is complete.
    int64_t Render(float* pOut, int64_t nMax);
    int64_t TotalSamples() const { return m_nTotal; }
    std::string ErrorString() const { return m_strError; }

    /// Tone amplitude of the wanted signal (full scale 1).
    static constexpr double AMPLITUDE = 0.1;

private:
    /// One keyed signal: its tone switches between mark and space at the segment ends.
    struct Keying
    {
        std::vector<double> ends; ///< segment ends in samples; segments alternate from mark
        size_t nSegment = 0;
        double dPhase = 0.0;
        bool isMark(int64_t nSample);
    };

    void buildKeying(const std::vector<unsigned char>& codes, double dOffsetSamples,
                     Keying& keying) const;
    double fade(double dSeconds, double dTurn) const;

    Settings m_settings;
    Keying m_wanted;
    Keying m_neighbour;
    int64_t m_nTotal = 0;
    int64_t m_nRendered = 0;
    double m_dNoiseSigma = 0.0;
    std::mt19937 m_random;
    std::normal_distribution<double> m_gauss;
    std::string m_strError;
};

} // namespace fsk
