#pragma once

#include "tools/fskdemodulator/fskdemodulator_export.h"
#include "tools/fskdemodulator/ita2alphabet.h"

namespace fsk {

/// Follows the letters/figures shift of a stream of 5-bit codes and turns each code into the
/// character a teleprinter prints: what a live teleprinter decoder publishes.
class FSKDEMODULATOR_EXPORT Ita2Decoder
{
public:
    struct Settings
    {
        Ita2Alphabet::FigureSet figures = Ita2Alphabet::eITA2;
        /// A space returns to the letters case, as many machines do and many senders expect.
        bool bUnshiftOnSpace = true;
    };

    explicit Ita2Decoder(const Settings& settings) : m_settings(settings) {}

    /// The character of @p nCode in the current case; 0 when it prints nothing (shifts, NUL).
    char Push(unsigned nCode);
    bool InFigures() const { return m_bFigures; }

private:
    Settings m_settings;
    bool m_bFigures = false;
};

} // namespace fsk
