// Repairing a case shift or a split word that one doubtful bit broke, from the word after it.

#include "tools/fskdemodulator/shiftrepair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using fsk::Ita2Alphabet;
using fsk::ShiftRepair;

namespace {

/// Codes of @p text: '<' is FIGS, '>' is LTRS, digits and signs take their figures code,
/// the rest their letters code; nothing is shifted for the writer.
std::vector<unsigned> codesOf(const std::string& text)
{
    std::vector<unsigned> codes;
    for (const char c : text) {
        if (c == '<')
            codes.push_back(Ita2Alphabet::FIGURES);
        else if (c == '>')
            codes.push_back(Ita2Alphabet::LETTERS);
        else if (Ita2Alphabet::LetterCode(c) >= 0)
            codes.push_back(unsigned(Ita2Alphabet::LetterCode(c)));
        else
            codes.push_back(unsigned(Ita2Alphabet::FigureCode(c, Ita2Alphabet::eITA2)));
    }
    return codes;
}

struct Case
{
    const char* name;
    const char* sent; ///< the code at `damaged` arrives with `bit` the other way
    size_t damaged;   ///< the code received with one bit the other way
    unsigned bit;     ///< which bit
    float margin;     ///< how sure the framer was of that bit
    bool repair;
    const char* printed;
};

} // namespace

TEST(ShiftRepair, ABrokenCharacterIsRepairedOnlyWhenTheBitWasDoubtfulAndTheWordShowsIt)
{
    const Case cases[] = {
        {"FIGS read as G", "WX <28270 FOG", 3, 0, 0.2f, true, "WX 28270 FOG"},
        {"a sure G stays", "WX <28270 FOG", 3, 0, 0.9f, true, "WX GWIWUP FOG"},
        {"repair off", "WX <28270 FOG", 3, 0, 0.2f, false, "WX GWIWUP FOG"},
        {"a word with a letter off the top row", "WX <OLD", 3, 0, 0.2f, true, "WX GOLD"},
        {"FIGS read as B at the end", "WX <2827", 3, 1, 0.2f, true, "WX 2827"},
        {"space read as S in figures", "<67990 WX RAIN", 6, 0, 0.2f, true, "67990 WX RAIN"},
        {"digits after it show nothing", "<67990 12 A", 6, 0, 0.2f, true, "67990'12 A"},
        {"space read as H, sure", "<67990 WX", 6, 4, 0.9f, true, "67990#2/"},
        {"FIGS read as LTRS", "WX <28270 FOG", 3, 2, 0.2f, true, "WX 28270 FOG"},
        {"a doubtful LTRS before letters stays", "WX <FOG", 3, 2, 0.2f, true, "WX FOG"},
        {"LTRS read as FIGS", "<12 >GUSTS", 4, 2, 0.2f, true, "12 GUSTS"},
        {"a doubtful FIGS before digits stays", "WX >1013", 3, 2, 0.2f, true, "WX 1013"},
        {"G read as FIGS", "WX GUSTS", 3, 0, 0.2f, true, "WX GUSTS"},
        {"a sure FIGS before signs stays", "WX GUSTS", 3, 0, 0.9f, true, "WX 7'5'"},
        {"the LTRS a text opens with is kept", "<REPORT", 0, 2, 0.2f, true, "REPORT"},
        {"I read as LF inside a word", "VISIBILITY", 1, 2, 0.2f, true, "VISIBILITY"},
        {"a sure LF inside a word stays", "VISIBILITY", 1, 2, 0.9f, true, "V\nSIBILITY"},
        {"8 read as LF inside a figure group", "<1083 HPA", 3, 2, 0.2f, true, "1083 HPA"},
        {"D read as CR inside a word", "WINDY", 3, 0, 0.2f, true, "WINDY"},
        {"a LF before a space ends the word", "WXI RAIN", 2, 2, 0.2f, true, "WX\n RAIN"},
        {"a LF after a CR ends the line", "RAIN\rIFOG", 5, 2, 0.2f, true, "RAIN\r\nFOG"},
    };
    for (const Case& c : cases) {
        std::vector<unsigned> codes = codesOf(c.sent);
        ShiftRepair repair({Ita2Alphabet::eITA2, true}, c.repair);
        for (size_t i = 0; i < codes.size(); ++i) {
            ShiftRepair::Character character;
            character.nCode = codes[i];
            character.nSample = int64_t(i);
            if (i == c.damaged) {
                character.nCode ^= 1u << c.bit;
                character.afMargins[c.bit] = c.margin;
            }
            repair.Push(character);
        }
        repair.Finish();
        std::string printed;
        ShiftRepair::Character character;
        int64_t expected = 0;
        while (repair.Take(character)) {
            EXPECT_EQ(character.nSample, expected++) << c.name << ": every character, in order";
            if (character.cText != '\0')
                printed += character.cText;
        }
        EXPECT_EQ(expected, int64_t(codes.size())) << c.name;
        EXPECT_EQ(printed, c.printed) << c.name;
    }
}
