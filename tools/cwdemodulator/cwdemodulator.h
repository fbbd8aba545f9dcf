#pragma once

#include "tools/cwdemodulator/cwdemodulator_export.h"
#include "tools/cwdemodulator/cwsymbol.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cw {

/// A streaming CW demodulator: audio in, Morse symbol codes out. Finds the tone (or takes a
/// given pitch), brings it to baseband, looks ahead a few seconds to learn the speed and
/// levels of each transmission, then decides every dot, dash, character, word and line end
/// as soon as the signal allows. Memory stays bounded however long the input; the codes do
/// not depend on how the input is cut into blocks.
class CWDEMODULATOR_EXPORT CwDemodulator
{
public:
    struct Settings
    {
        double dSampleRate = 8000.0;
        double dPitchHz = 0.0; ///< 0 finds the pitch between the two limits below
        double dMinPitchHz = 200.0;
        double dMaxPitchHz = 1500.0;
        double dMinWpm = 5.0;
        double dMaxWpm = 60.0;
        double dLineSilenceSec = 3.0; ///< silence that ends a line
        /// Steps per element length the decisions weigh the signal in, up to 8 (0: 8). Fewer
        /// cost less (the decisions' search per second grows with their square) at a coarser
        /// timing: for many signals at once.
        int nDecisionStepsPerElement = 0;
        /// Log prior of the least likely mark or element-gap length the decisions try (0: -14,
        /// room for hand-sent timing far off the grid). A higher floor tries fewer lengths at
        /// each step; character gaps keep the full range.
        double dLeastLikelyLength = 0.0;
        /// Fewer trials while each transmission's speed is learned, for many signals at once:
        /// the first timing estimate tries every third length first, the one in phase only the
        /// lengths near it instead of the whole speed range, and a slower reading far behind
        /// at its own length is not tried around it. Nor is a transmission's first reading
        /// read again once proven.
        bool bLeanAcquisition = false;
        /// Baseband samples per second the tone is demodulated at (0: 1000). Fewer cost
        /// less per second at a coarser timing (500 still gives 10 samples to an element at
        /// 60 WPM): for many signals at once.
        double dBasebandRate = 0.0;
        /// Dots and dashes (".-") of the characters of the alphabet in use, which the
        /// decisions favour; empty for the built-in International alphabet.
        std::vector<std::string> characterCodes;
    };

    explicit CwDemodulator(const Settings& settings);
    ~CwDemodulator();
    CwDemodulator(const CwDemodulator&) = delete;
    CwDemodulator& operator=(const CwDemodulator&) = delete;

    /// Sample rates this demodulator can work at (the pitch range must fit below half of it).
    static bool IsUsableSampleRate(double dSampleRate);

    // Reception.
    /// Demodulates the next block of mono samples (full scale +-1).
    void Process(const float* pSamples, size_t nCount);
    /// The input ended: decides what is left and closes the character, word and line.
    void Finish();
    /// The oldest decided symbol not yet taken; false when none is waiting.
    bool TakeSymbol(CwSymbol& symbol);

    // What was found.
    bool HasPitch() const;
    /// The tone demodulated (Hz); 0 while none is known.
    double Pitch() const;
    /// The latest speed estimate (words per minute); 0 before the first transmission.
    double Wpm() const;
    /// True while the tone is steady enough to be detected coherently.
    bool IsCoherent() const;
    /// Input samples consumed so far.
    std::int64_t SamplesProcessed() const;
    /// While the speed of a transmission is being learned: the input sample the audio held
    /// for it begins at (what Finish() would still decide), or the first symbol held back
    /// when that comes earlier (what Finish() would still give out); -1 otherwise.
    std::int64_t HeldFrom() const;

private:
    class Private; // the blocks of the pipeline, the held samples and the decided symbols

    std::unique_ptr<Private> d;
};

} // namespace cw
