#pragma once

#include <cstddef>
#include <vector>

namespace fsk {

/// Finds an FSK teleprinter signal in a stretch of audio: the two tones from the averaged
/// spectrum, then speed and polarity by trial framing (the wrong ones break stop bits), with
/// the lengths of the tone runs (whole bits at the right speed) and the size of the decided
/// values (largest on the bits' middles) to settle near ties. What the caller already knows is
/// taken as given.
class SignalSearch
{
public:
    /// What is known beforehand; 0 (or eUNKNOWN) means "find it".
    struct Hints
    {
        double dSampleRate = 8000.0;
        double dMarkHz = 0.0;
        double dSpaceHz = 0.0;
        double dShiftHz = 0.0;
        double dBaud = 0.0;
        int nReversed = -1; ///< -1 unknown, 0 mark above space, 1 mark below space
    };

    struct Result
    {
        bool bFound = false;
        double dMarkHz = 0.0;
        double dSpaceHz = 0.0;
        double dBaud = 0.0;
        bool bReversed = false;
        double dFramingErrors = 1.0; ///< share of broken stop bits at the speed chosen
        size_t nCharacters = 0;      ///< characters framed at the speed chosen
    };

    /// The speeds the search chooses from.
    static const std::vector<double>& StandardBauds();

    static Result Find(const float* pSamples, size_t nCount, const Hints& hints);

private:
    static bool findTones(const float* pSamples, size_t nCount, const Hints& hints, double& dLowHz,
                          double& dHighHz);
    static double runScore(const float* pSamples, size_t nCount, double dSampleRate, double dLowHz,
                           double dHighHz, double dBaud);
    struct Framing
    {
        double dErrors = 1.0; ///< share of broken stop bits
        size_t nCharacters = 0;
        double dClearness = 0.0; ///< mean size of the decided values (about 1 on the bits' middles)
    };
    /// Frames the samples as the given signal, without refining the characters' timing.
    static Framing trialFraming(const float* pSamples, size_t nCount, double dSampleRate,
                                double dMarkHz, double dSpaceHz, double dBaud);
};

} // namespace fsk
