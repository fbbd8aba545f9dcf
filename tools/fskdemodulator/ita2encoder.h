#pragma once

#include "tools/fskdemodulator/fskdemodulator_export.h"
#include "tools/fskdemodulator/ita2alphabet.h"

#include <string>
#include <vector>

namespace fsk {

/// Turns text into 5-bit codes with the shifts it needs, for the synthesizer. Starts in the
/// letters case with a letters shift, and repeats the figures shift after a space so that
/// receivers that unshift on space print the same text.
class FSKDEMODULATOR_EXPORT Ita2Encoder
{
public:
    explicit Ita2Encoder(Ita2Alphabet::FigureSet figures = Ita2Alphabet::eITA2) : m_figures(figures)
    {
    }

    /// The codes of @p strText; false (with the offending character in @p cUnencodable)
    /// when a character has no code.
    bool Encode(const std::string& strText, std::vector<unsigned char>& codes,
                char& cUnencodable) const;

private:
    Ita2Alphabet::FigureSet m_figures;
};

} // namespace fsk
