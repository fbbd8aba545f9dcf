#pragma once

#include "tools/cwdemodulator/cwskimmer.h"

#include <QString>

#include <vector>

/// Test bands for the skimmer: several CW transmitters mixed at chosen pitches, levels and start
/// times over one white noise, and the score of what the skimmer made of them.
namespace cwskim {

struct Signal
{
    QString text;
    double dPitchHz = 700.0;
    double dWpm = 20.0;
    double dSnrDb = 10.0; ///< key-down tone power over the noise in 2500 Hz
    double dStartSec = 0.5;
    bool bHandSent = false; ///< uneven elements and gaps, soft edges, a little drift
    bool bEbook2cw = false; ///< rendered by ebook2cw instead of our synthesizer
    double dRiseMs = 5.0;   ///< keying edges (our synthesizer); short ones click
    quint32 uSeed = 1;
};

struct Band
{
    int nRate = 8000;
    std::vector<Signal> transmitters;
    double dTailSec = 1.0; ///< silence after the last signal ends
};

/// A band of @p nSignals random lines at pitches at least @p dMinApartHz apart between
/// @p dLowHz and @p dHighHz, 0 to +15 dB, 15 to 35 WPM, every other one hand-sent, starts
/// spread over the first @p dStaggerSec seconds; ebook2cw renders every other machine-sent
/// one up to 3 kHz when @p bEbook2cw.
Band randomBand(int nSignals, int nRate, double dLowHz, double dHighHz, quint32 uSeed,
                bool bEbook2cw = false, double dMinApartHz = 100.0, double dStaggerSec = 8.0);

/// Mixes the band; empty when a signal cannot be rendered (ebook2cw missing). Working files
/// go to @p strWorkDir.
std::vector<float> render(const Band& band, quint32 uNoiseSeed, const QString& strWorkDir);

/// What the skimmer decoded on one channel.
struct Decoded
{
    int nChannel = 0;
    double dPitchHz = 0.0;
    double dStartSec = -1.0; ///< first symbol
    double dWpm = 0.0;
    QString text;
};

/// Runs the skimmer over @p samples in blocks of @p nBlock.
std::vector<Decoded> skim(const std::vector<float>& samples, cw::CwSkimmer::Settings settings,
                          size_t nBlock = 4096);

struct Score
{
    std::vector<double> cer;    ///< per signal of the band, edit distance over reference length
    double dPhantomShare = 0.0; ///< text on no signal's pitch over the reference length
    std::vector<QString> texts; ///< per signal, the text assigned to it
    int nFound = 0;             ///< transmitters with any text assigned
    double meanCer() const;
    double worstCer() const;
};

/// Assigns each channel's text to the signal of the nearest true pitch within
/// @p dReachHz; the rest counts as phantom.
Score score(const Band& band, const std::vector<Decoded>& decoded, double dReachHz = 40.0);

} // namespace cwskim
