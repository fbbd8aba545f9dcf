#pragma once

#include "tools/cwdemodulator/cwdemodulator_export.h"
#include "tools/cwdemodulator/cwsymbol.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cw {

/// Decodes every CW signal in a band at once. An FFT filter bank cuts the band into
/// spectra; a signal finder picks the lines that key on and off over the noise (and not the
/// sidebands, clicks, harmonics or intermodulation of a stronger one); each signal found
/// gets a channel of its own with a CwDemodulator tuned to it, which follows its drift and
/// ends after its silence. The cost grows with the band and with the number of signals.
/// Life: create, Process() blocks of audio, Finish(); TakeEvent() whenever convenient.
class CWDEMODULATOR_EXPORT CwSkimmer
{
public:
    struct Settings
    {
        double dSampleRate = 8000.0;
        double dLowHz = 0.0;     ///< band searched; 0 for the edge default
        double dHighHz = 0.0;    ///< 0 for the edge default
        double dMinSnrDb = -8.0; ///< key-down tone over the noise in 2500 Hz
        size_t nMaxChannels = 1000;
        size_t nThreads = 1; ///< threads the channels are demodulated on
        /// Dots and dashes of the characters of the alphabet in use; empty: International.
        std::vector<std::string> characterCodes;
    };

    struct Event
    {
        enum class Kind
        {
            Started, ///< a signal was found; its symbols follow
            Symbol,  ///< one symbol code of the channel
            Ended,   ///< the signal went silent; nothing more comes from this channel
        };
        Kind kind = Kind::Symbol;
        int nChannel = 0;
        double dPitchHz = 0.0; ///< where the signal is now
        double dWpm = 0.0;     ///< its speed now; 0 while unknown
        double dSnrDb = 0.0;   ///< its key-down level over the noise in 2500 Hz
        CwSymbol symbol;       ///< code and input sample position (Symbol events)
    };

    struct ChannelState
    {
        int nChannel = 0;
        double dPitchHz = 0.0;
        double dWpm = 0.0;
        double dSnrDb = 0.0;
    };

    explicit CwSkimmer(const Settings& settings);
    ~CwSkimmer();
    CwSkimmer(const CwSkimmer&) = delete;
    CwSkimmer& operator=(const CwSkimmer&) = delete;

    /// Sample rates the skimmer works at: 4 kHz to 192 kHz.
    static bool IsUsableSampleRate(double dSampleRate);
    /// The band searched by default at @p dSampleRate: all but the edges.
    static void DefaultBand(double dSampleRate, double& dLowHz, double& dHighHz);

    // Reception.
    void Process(const float* pSamples, size_t nCount);
    /// The input ended: every channel decides what is left and ends.
    void Finish();
    /// The oldest event not yet taken; false when none is waiting.
    bool TakeEvent(Event& event);

    // What is going on.
    /// The channels open now.
    std::vector<ChannelState> Channels() const;
    /// Input samples consumed so far.
    std::int64_t SamplesProcessed() const;

private:
    class Private; // the filter bank, the signal finder and the channels
    std::unique_ptr<Private> d;
};

} // namespace cw
