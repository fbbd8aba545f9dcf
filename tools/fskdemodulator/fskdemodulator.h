#pragma once

#include "tools/fskdemodulator/fskdemodulator_export.h"
#include "tools/fskdemodulator/ita2decoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace fsk {

class CharacterFramer;
class FrequencyTracker;
class ShiftRepair;
class ToneBalance;
class ToneFilter;

/// A streaming FSK teleprinter demodulator: audio in, the text a live teleprinter decoder
/// publishes out (letters/figures resolved ITA2 characters). Looks at the first seconds to
/// find the tones, speed and polarity it is not told, then runs matched filters on both tones,
/// weighs them against fading, frames start-stop characters and follows the shift. Memory
/// stays bounded however long the input; the output does not depend on the block sizes.
class FSKDEMODULATOR_EXPORT FskDemodulator
{
public:
    enum Polarity
    {
        eFIND_POLARITY,
        eNORMAL,   ///< mark is the higher tone
        eREVERSED, ///< mark is the lower tone
    };

    struct Settings
    {
        double dSampleRate = 8000.0;
        double dMarkHz = 0.0;  ///< 0: found from the signal
        double dSpaceHz = 0.0; ///< 0: found from the signal
        double dShiftHz = 0.0; ///< 0: found from the signal
        double dBaud = 0.0;    ///< 0: one of 45.45, 50, 75, 100 found from the signal
        Polarity polarity = eFIND_POLARITY;
        Ita2Decoder::Settings text;
        /// A FIGS or a space (in the figures case) that one doubtful bit turned into another
        /// code is put back when the word after it shows the case went wrong; the characters
        /// that might start such a repair are held until their word ends.
        bool bRepairShifts = true;
        /// Audio looked at before the first decision; the signal must show within it.
        double dSearchSec = 3.0;
    };

    /// One decoded character.
    struct Character
    {
        char cText = 0; ///< 0 for the shifts and NUL, which print nothing
        unsigned nCode = 0;
        bool bFramingError = false;
        int64_t nSample = 0; ///< where its start bit began
    };

    explicit FskDemodulator(const Settings& settings);
    ~FskDemodulator();
    FskDemodulator(const FskDemodulator&) = delete;
    FskDemodulator& operator=(const FskDemodulator&) = delete;

    // Reception.
    /// Demodulates the next block of mono samples (full scale +-1).
    void Push(const float* pSamples, size_t nCount);
    /// The input ended: decides on what is held back, audio and characters.
    void Finish();
    /// The oldest decoded character not yet taken; false when none is waiting.
    bool TakeCharacter(Character& character);

    // What was found.
    bool HasSignal() const { return m_bLocked; }
    double MarkHz() const { return m_dMarkHz; }
    double SpaceHz() const { return m_dSpaceHz; }
    double Baud() const { return m_dBaud; }
    bool IsReversed() const { return m_dMarkHz < m_dSpaceHz; }
    /// Signal power over noise power in 2500 Hz (dB), from the decided bits; NaN before any.
    double SnrDb() const;
    int64_t SamplesProcessed() const { return m_nInput; }

private:
    void search(bool bFinal);
    void lock(double dMarkHz, double dSpaceHz, double dBaud);
    void demodulate(float fSample);
    /// Hands the characters the framer gave out to the text.
    void publishFrames();

    Settings m_settings;
    bool m_bLocked = false;
    int64_t m_nInput = 0;
    int64_t m_nFramerOrigin = 0; ///< input samples dropped before the signal was found
    std::vector<float> m_held;   ///< audio kept while the signal is searched
    size_t m_nSearchSamples;
    size_t m_nHoldSamples; ///< audio held before the next search

    double m_dMarkHz = 0.0;
    double m_dSpaceHz = 0.0;
    double m_dBaud = 0.0;
    std::unique_ptr<ToneFilter> m_pMark;
    std::unique_ptr<ToneFilter> m_pSpace;
    std::unique_ptr<ToneBalance> m_pBalance;
    std::unique_ptr<FrequencyTracker> m_pTracker;
    std::unique_ptr<CharacterFramer> m_pFramer;
    std::unique_ptr<ShiftRepair> m_pText;
    int64_t m_nFilterLength = 0;
    int64_t m_nFilling = 0; ///< samples until the filters hold a whole bit
    float m_fMark = 0.0f;
    float m_fSpace = 0.0f;

    double m_dOnSum = 0.0;     ///< summed amplitude of the winning tone at the decided bits
    double m_dOnSquares = 0.0; ///< ... and its square
    double m_dDecidedBits = 0.0;
};

} // namespace fsk
