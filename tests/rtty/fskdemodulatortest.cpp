// The demodulator on synthesized signals: what it finds by itself, what options override,
// the impairments it survives, and streaming.

#include "rttysignal.h"
#include "tools/fskdemodulator/characterframer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using fsk::FskDemodulator;
using fsk::FskSynthesizer;
using rttytest::decode;
using rttytest::render;

namespace {

const std::string TEXT = "RYRY CQ DE TEST 599 QTH MOSCOW WX -5 WIND 270/15 (OK?) K";

struct Signal
{
    const char* name;
    double baud;
    double markHz;
    double shiftHz;
    bool reversed;
    double stopBits;
};

const Signal SIGNALS[] = {
    {"45_170", 45.45, 1585.0, 170.0, false, 1.5},
    {"50_425_reversed", 50.0, 900.0, 425.0, true, 1.5},
    {"75_850_1stop", 75.0, 2200.0, 850.0, false, 1.0},
    {"100_170_2stop", 100.0, 1300.0, 170.0, false, 2.0},
    {"45_1000_reversed", 45.45, 700.0, 1000.0, true, 1.5},
    {"50_85", 50.0, 1000.0, 85.0, false, 1.5},
};

FskSynthesizer::Settings synthesis(const Signal& signal, double snrDb)
{
    FskSynthesizer::Settings settings;
    settings.dBaud = signal.baud;
    settings.dMarkHz = signal.markHz;
    settings.dShiftHz = signal.shiftHz;
    settings.bReversed = signal.reversed;
    settings.dStopBits = signal.stopBits;
    settings.bNoise = true;
    settings.dSnrDb = snrDb;
    return settings;
}

class FoundFromTheSignal : public testing::TestWithParam<Signal>
{
};

} // namespace

TEST_P(FoundFromTheSignal, TonesSpeedAndPolarityAreFoundAndTheTextIsExact)
{
    const Signal& signal = GetParam();
    const auto decoded = decode(render(synthesis(signal, 10.0), TEXT), FskDemodulator::Settings());
    ASSERT_TRUE(decoded.found);
    const double space = signal.markHz + (signal.reversed ? signal.shiftHz : -signal.shiftHz);
    EXPECT_NEAR(decoded.markHz, signal.markHz, 10.0);
    EXPECT_NEAR(decoded.spaceHz, space, 10.0);
    EXPECT_DOUBLE_EQ(decoded.baud, signal.baud);
    EXPECT_EQ(decoded.text, TEXT);
    EXPECT_NEAR(decoded.snrDb, 10.0, 3.0);
}

INSTANTIATE_TEST_SUITE_P(Signals, FoundFromTheSignal, testing::ValuesIn(SIGNALS),
                         [](const testing::TestParamInfo<Signal>& info) {
                             return std::string(info.param.name);
                         });

TEST(FskDemodulatorOptions, GivenValuesOverrideTheSearch)
{
    const Signal signal = SIGNALS[1];
    const auto samples = render(synthesis(signal, 10.0), TEXT);
    struct Case
    {
        const char* name;
        FskDemodulator::Settings settings;
        bool exact;
    };
    FskDemodulator::Settings shift, baud, reversed, normal, tones;
    shift.dShiftHz = 425.0;
    baud.dBaud = 50.0;
    reversed.polarity = FskDemodulator::eREVERSED;
    normal.polarity = FskDemodulator::eNORMAL; // wrong on purpose: mark and space swap
    tones.dMarkHz = 900.0;
    tones.dSpaceHz = 1325.0;
    const Case cases[] = {{"shift", shift, true},
                          {"baud", baud, true},
                          {"reversed", reversed, true},
                          {"normal", normal, false},
                          {"tones", tones, true}};
    for (const Case& c : cases) {
        const auto decoded = decode(samples, c.settings);
        EXPECT_EQ(decoded.text == TEXT, c.exact) << c.name << ": " << decoded.text;
    }
    EXPECT_GT(decode(samples, normal).markHz, decode(samples, normal).spaceHz);
}

TEST(FskDemodulatorImpairments, FadingDriftAndANeighbourCostAtMostTenPercentOfTheText)
{
    struct Case
    {
        const char* name;
        void (*apply)(FskSynthesizer::Settings&);
    };
    const Case cases[] = {
        // Each tone fades by 20 dB in turn, twice a second, at 20 dB: the tone weighing must
        // follow within a character.
        {"selective fading 20 dB",
         [](FskSynthesizer::Settings& s) {
             s.dSnrDb = 20.0;
             s.dFadeHz = 0.5;
             s.dFadeDepthDb = 20.0;
         }},
        // Some 40 Hz over the text, a quarter of the shift: the filters must follow.
        {"drift 3 Hz/s", [](FskSynthesizer::Settings& s) { s.dDriftHzPerSec = 3.0; }},
        {"neighbour 400 Hz up, 6 dB weaker",
         [](FskSynthesizer::Settings& s) { s.dNeighbourOffsetHz = 400.0; }},
    };
    for (const Case& c : cases) {
        FskSynthesizer::Settings settings = synthesis(SIGNALS[0], 15.0);
        c.apply(settings);
        const std::string text = decode(render(settings, TEXT), FskDemodulator::Settings()).text;
        EXPECT_LE(rttytest::editDistance(text, TEXT), TEXT.size() / 10) << c.name << ": " << text;
    }
}

TEST(FskDemodulatorNoise, NearTheFloorFewCharactersAreLost)
{
    // At -5 dB in 2500 Hz an ideal receiver loses about one character in a thousand; timing
    // taken from single transitions, or a framer that loses the character grid, loses tens.
    const std::string text = TEXT + " " + TEXT + " " + TEXT;
    for (const Signal& signal : {SIGNALS[0], SIGNALS[1]}) {
        const std::string decoded =
            decode(render(synthesis(signal, -5.0), text), FskDemodulator::Settings()).text;
        EXPECT_LE(rttytest::editDistance(decoded, text), 3u) << signal.name << ": " << decoded;
    }
}

TEST(FskDemodulatorStreaming, OutputDoesNotDependOnTheBlockSize)
{
    const auto samples = render(synthesis(SIGNALS[0], 0.0), TEXT);
    const auto whole = decode(samples, FskDemodulator::Settings(), samples.size());
    for (const size_t block : {size_t(1), size_t(7), size_t(1000), size_t(24000)}) {
        const auto decoded = decode(samples, FskDemodulator::Settings(), block);
        ASSERT_EQ(decoded.characters.size(), whole.characters.size()) << block;
        for (size_t i = 0; i < whole.characters.size(); ++i) {
            EXPECT_EQ(decoded.characters[i].nCode, whole.characters[i].nCode) << block;
            EXPECT_EQ(decoded.characters[i].nSample, whole.characters[i].nSample) << block;
        }
    }
}

TEST(FskDemodulatorStreaming, LateSignalIsFoundAfterSilence)
{
    FskSynthesizer::Settings settings = synthesis(SIGNALS[0], 10.0);
    settings.dIdleSec = 0.2;
    auto samples = std::vector<float>(8000 * 7, 0.0f);
    const auto signal = render(settings, TEXT);
    samples.insert(samples.end(), signal.begin(), signal.end());
    const auto decoded = decode(samples, FskDemodulator::Settings());
    EXPECT_EQ(decoded.text, TEXT);
    ASSERT_FALSE(decoded.characters.empty());
    EXPECT_NEAR(double(decoded.characters.front().nSample) / 8000.0, 7.2, 0.05);
}

TEST(FskDemodulatorFaults, BadInputGivesNoTextAndNoCrash)
{
    std::vector<float> broken = render(synthesis(SIGNALS[0], 20.0), TEXT);
    for (size_t i = 0; i < broken.size(); i += 97)
        broken[i] = std::numeric_limits<float>::quiet_NaN();
    // Empty, short, silence and noise alone.
    for (const std::vector<float>& samples :
         {std::vector<float>(), std::vector<float>(10, 0.5f), std::vector<float>(8000 * 5, 0.0f),
          render(synthesis(SIGNALS[0], -40.0), "E")})
        EXPECT_LE(decode(samples, FskDemodulator::Settings()).text.size(), 2u) << samples.size();
    EXPECT_EQ(decode(broken, FskDemodulator::Settings()).text, TEXT) << "sparse NaN samples";
}

TEST(FskDemodulatorFraming, MissingStopBitsAreMarked)
{
    FskSynthesizer::Settings settings = synthesis(SIGNALS[0], 30.0);
    settings.dStopBits = 0.0;
    FskDemodulator::Settings known;
    known.dMarkHz = 1585.0;
    known.dSpaceHz = 1415.0;
    known.dBaud = 45.45;
    const auto decoded = decode(render(settings, "EEEEEEEE"), known);
    ASSERT_FALSE(decoded.characters.empty());
    size_t marked = 0;
    for (const auto& c : decoded.characters)
        marked += c.bFramingError ? 1 : 0;
    EXPECT_GE(marked, decoded.characters.size() / 2);
}

namespace {

/// Thirty codes for the framer tests, and their characters sent back to back as clean decision
/// values (FRAMER_BIT samples a bit, 1.5 stop bits) after ten bits of mark, with a pause of
/// @p pauseBits of mark before character @p pauseBefore; @p starts gets where each start bit
/// begins.
constexpr int FRAMER_BIT = 20;

std::vector<unsigned> framerCodes()
{
    std::vector<unsigned> codes;
    for (unsigned i = 0; i < 30; ++i)
        codes.push_back((i * 7 + 3) % 32);
    return codes;
}

std::vector<float> framerValues(const std::vector<unsigned>& codes, std::vector<size_t>& starts,
                                size_t pauseBefore = 0, int pauseBits = 0)
{
    constexpr int BIT = FRAMER_BIT;
    std::vector<float> values(10 * BIT, 1.0f);
    for (const unsigned code : codes) {
        if (starts.size() == pauseBefore)
            values.insert(values.end(), size_t(pauseBits * BIT), 1.0f);
        starts.push_back(values.size());
        values.insert(values.end(), BIT, -1.0f);
        for (int bit = 0; bit < 5; ++bit)
            values.insert(values.end(), BIT, ((code >> bit) & 1u) != 0 ? 1.0f : -1.0f);
        values.insert(values.end(), BIT * 3 / 2, 1.0f);
    }
    values.insert(values.end(), 10 * BIT, 1.0f);
    return values;
}

/// The codes a framer takes from @p values, the input ended after them.
std::vector<unsigned> framedCodes(const std::vector<float>& values)
{
    fsk::CharacterFramer framer(FRAMER_BIT);
    for (const float value : values)
        framer.Push(value);
    framer.Finish();
    std::vector<unsigned> framed;
    fsk::CharacterFramer::Frame frame;
    while (framer.TakeFrame(frame))
        framed.push_back(frame.nCode);
    return framed;
}

} // namespace

TEST(FskDemodulatorFraming, ANoisySpikeAtAStartBitKeepsTheCharacterGrid)
{
    // Back-to-back characters as clean decision values (20 samples a bit, 1.5 stop bits); at
    // two start bits' decision points the value jumps to mark for a third of a bit, as noise
    // does near the floor. A start searched afresh there would land on a data bit.
    const std::vector<unsigned> codes = framerCodes();
    std::vector<size_t> starts;
    std::vector<float> values = framerValues(codes, starts);
    for (const size_t spiked : {starts[12], starts[20]})
        std::fill(values.begin() + long(spiked) + 7, values.begin() + long(spiked) + 14, 1.0f);

    fsk::CharacterFramer framer(FRAMER_BIT);
    std::vector<unsigned> framed;
    size_t bits = 0;
    for (const float value : values) {
        const int event = framer.Push(value);
        if (event & fsk::CharacterFramer::eBIT)
            ++bits;
        if (event & fsk::CharacterFramer::eFRAME)
            framed.push_back(framer.LastFrame().nCode);
    }
    EXPECT_EQ(framed, codes);
    // Each character's start and data bits are decided once, a spiked start at most twice:
    // not again on every sample until a value comes out space.
    EXPECT_LE(bits, 6 * codes.size() + 2);
}

TEST(FskDemodulatorFraming, TheCharacterGridOutlivesNoiseButNotAPause)
{
    // A noise dip a bit and a half before the first start bit starts the first character
    // early and teaches a wrong grid: once the grid of later characters is confirmed, those
    // before it are framed again on it. After fifteen characters on the grid, a start bit that
    // comes out weakly mark all along, as noise near the floor can make it, would land on a
    // data bit if searched afresh. A pause before a character (shorter than a character, or
    // long) shows clearly mark where the grid puts the start: the grid is dropped and the
    // character found from its own start bit, nothing framed in the pause.
    struct Case
    {
        const char* name;
        bool dipBeforeFirst;
        int hiddenStart;
        int pauseBits;
    };
    for (const Case& c :
         {Case{"dip before the first", true, -1, 0}, Case{"hidden start", false, 15, 0},
          Case{"short pause", false, -1, 3}, Case{"long pause", false, -1, 40}}) {
        SCOPED_TRACE(c.name);
        const std::vector<unsigned> codes = framerCodes();
        std::vector<size_t> starts;
        std::vector<float> values = framerValues(codes, starts, 15, c.pauseBits);
        if (c.dipBeforeFirst)
            std::fill(values.begin() + long(starts[0]) - 28, values.begin() + long(starts[0]) - 20,
                      -1.0f);
        if (c.hiddenStart >= 0) {
            const auto start = values.begin() + long(starts[size_t(c.hiddenStart)]);
            std::fill(start, start + FRAMER_BIT, 0.2f);
        }
        EXPECT_EQ(framedCodes(values), codes);
    }
}
