// The 5-bit code: tables, shifts and the encoder that the synthesizer relies on.

#include "tools/fskdemodulator/ita2decoder.h"
#include "tools/fskdemodulator/ita2encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using fsk::Ita2Alphabet;
using fsk::Ita2Decoder;
using fsk::Ita2Encoder;

namespace {

std::string decode(const std::vector<unsigned char>& codes, const Ita2Decoder::Settings& settings)
{
    Ita2Decoder decoder(settings);
    std::string text;
    for (const unsigned char code : codes) {
        if (const char c = decoder.Push(code))
            text += c;
    }
    return text;
}

} // namespace

TEST(Ita2, EveryLetterAndFigureHasItsOwnCode)
{
    for (const auto figures : {Ita2Alphabet::eITA2, Ita2Alphabet::eUS_TTY}) {
        std::string seen;
        for (unsigned code = 0; code < 32; ++code) {
            for (const char c : {Ita2Alphabet::Letter(code), Ita2Alphabet::Figure(code, figures)}) {
                if (c != '\0' && !Ita2Alphabet::IsInBothCases(c)) {
                    EXPECT_EQ(seen.find(c), std::string::npos)
                        << "code " << code << " '" << c << "'";
                    seen += c;
                }
            }
        }
        EXPECT_EQ(seen.size(), 26u + 26u) << "letters and figures";
    }
}

TEST(Ita2, TablesFollowTheStandardCodes)
{
    // Codes with the first data bit as least significant bit.
    struct Case
    {
        unsigned code;
        char letter;
        char ita2Figure;
        char usFigure;
    };
    const Case cases[] = {
        {0x03, 'A', '-', '-'},    {0x01, 'E', '3', '3'},    {0x05, 'S', '\'', '\a'},
        {0x0B, 'J', '\a', '\''},  {0x11, 'Z', '+', '"'},    {0x1E, 'V', '=', ';'},
        {0x1D, 'X', '/', '/'},    {0x04, ' ', ' ', ' '},    {0x02, '\n', '\n', '\n'},
        {0x1F, '\0', '\0', '\0'}, {0x1B, '\0', '\0', '\0'},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ita2Alphabet::Letter(c.code), c.letter) << c.code;
        EXPECT_EQ(Ita2Alphabet::Figure(c.code, Ita2Alphabet::eITA2), c.ita2Figure) << c.code;
        EXPECT_EQ(Ita2Alphabet::Figure(c.code, Ita2Alphabet::eUS_TTY), c.usFigure) << c.code;
    }
}

TEST(Ita2, EncodedTextDecodesAlikeWithAndWithoutUnshiftOnSpace)
{
    const std::string text = "CQ 599 73 -5 W 270/15 (OK?) A.B,C:D\r\nEND";
    for (const auto figures : {Ita2Alphabet::eITA2, Ita2Alphabet::eUS_TTY}) {
        std::vector<unsigned char> codes;
        char bad = 0;
        ASSERT_TRUE(Ita2Encoder(figures).Encode(text, codes, bad));
        for (const bool unshift : {false, true})
            EXPECT_EQ(decode(codes, {figures, unshift}), text) << unshift;
    }
}

TEST(Ita2, SpaceReturnsToLettersOnlyWhenAsked)
{
    // FIGS 1 space 2: the sender relied on the receiver staying in figures.
    const std::vector<unsigned char> codes = {0x1B, 0x17, 0x04, 0x13};
    EXPECT_EQ(decode(codes, {Ita2Alphabet::eITA2, false}), "1 2");
    EXPECT_EQ(decode(codes, {Ita2Alphabet::eITA2, true}), "1 W");
}

TEST(Ita2, UnencodableCharacterIsNamed)
{
    std::vector<unsigned char> codes;
    char bad = 0;
    EXPECT_FALSE(Ita2Encoder().Encode("AB*C", codes, bad));
    EXPECT_EQ(bad, '*');
    EXPECT_TRUE(Ita2Encoder().Encode("lower case", codes, bad));
}
