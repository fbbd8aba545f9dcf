#include "tools/fskdemodulator/ita2alphabet.h"

#include <cctype>
#include <cstring>

namespace fsk {

namespace {

// Indexed by code. NUL and the two shift codes hold 0: they print nothing.
constexpr char LETTER_TABLE[33] = "\0E\nA SIU\rDRJNFCKTZLWHYPQOBG\0MXV\0";
// The positions the international table leaves to national use (D, F, G, H) hold the signs
// most stations print there.
constexpr char ITA2_FIGURE_TABLE[33] = "\0003\n- '87\r$4\a,!:(5+)2#6019?&\0./=\0";
constexpr char US_FIGURE_TABLE[33] = "\0003\n- \a87\r$4',!:(5\")2#6019?&\0./;\0";

const char* figureTable(Ita2Alphabet::FigureSet figures)
{
    return figures == Ita2Alphabet::eUS_TTY ? US_FIGURE_TABLE : ITA2_FIGURE_TABLE;
}

int codeIn(const char* table, char c)
{
    if (c == '\0')
        return -1;
    for (int code = 0; code < 32; ++code) {
        if (table[code] == c)
            return code;
    }
    return -1;
}

} // namespace

char Ita2Alphabet::Letter(unsigned nCode)
{
    return nCode < 32 ? LETTER_TABLE[nCode] : '\0';
}

char Ita2Alphabet::Figure(unsigned nCode, FigureSet figures)
{
    return nCode < 32 ? figureTable(figures)[nCode] : '\0';
}

int Ita2Alphabet::FigureCode(char c, FigureSet figures)
{
    return codeIn(figureTable(figures), c);
}

int Ita2Alphabet::LetterCode(char c)
{
    return codeIn(LETTER_TABLE, char(std::toupper(static_cast<unsigned char>(c))));
}

bool Ita2Alphabet::IsInBothCases(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

} // namespace fsk
