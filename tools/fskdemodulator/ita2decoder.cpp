#include "tools/fskdemodulator/ita2decoder.h"

namespace fsk {

char Ita2Decoder::Push(unsigned nCode)
{
    if (nCode == Ita2Alphabet::LETTERS) {
        m_bFigures = false;
        return '\0';
    }
    if (nCode == Ita2Alphabet::FIGURES) {
        m_bFigures = true;
        return '\0';
    }
    const char c =
        m_bFigures ? Ita2Alphabet::Figure(nCode, m_settings.figures) : Ita2Alphabet::Letter(nCode);
    if (c == ' ' && m_settings.bUnshiftOnSpace)
        m_bFigures = false;
    return c;
}

} // namespace fsk
