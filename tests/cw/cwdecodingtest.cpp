// Decoding synthesized CW end to end: speeds, noise, hand-sent timing, speed changes,
// timestamps and independence from the block size.

#include "cwbenchsupport.h"

#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

cw::CwSynthesizer::Settings signal(double wpm, double snrDb, quint32 seed = 7)
{
    cw::CwSynthesizer::Settings settings;
    settings.dWpm = wpm;
    settings.dPitchHz = 650.0;
    settings.bNoise = snrDb < 90.0;
    settings.dSnrDb = snrDb;
    settings.uSeed = seed;
    return settings;
}

std::vector<float> render(const cw::CwSynthesizer::Settings& settings, const QString& text)
{
    cw::CwSynthesizer synthesizer(settings);
    EXPECT_TRUE(synthesizer.SetText(text));
    return synthesizer.RenderAll();
}

QString decode(const std::vector<float>& samples, int rate = 8000)
{
    return cwbench::normalized(cwbench::codesToText(cwbench::demodulate(samples, rate)));
}

const QString TEXT = QStringLiteral("CQ DE DL1ABC 599 K");

} // namespace

TEST(CwDecoding, CleanSignalDecodesFromTheFirstCharacterAtEverySpeed)
{
    for (double wpm : {5.0, 12.0, 25.0, 40.0, 60.0}) {
        const QString text = wpm < 10 ? QStringLiteral("PARIS 73") : TEXT;
        EXPECT_EQ(decode(render(signal(wpm, 100.0), text)), text) << wpm << " WPM";
    }
}

TEST(CwDecoding, NoisySignalDecodesAtLowSnr)
{
    EXPECT_EQ(decode(render(signal(20.0, -4.0), TEXT)), TEXT);
    EXPECT_EQ(decode(render(signal(12.0, -6.0, 3), TEXT)), TEXT);
}

TEST(CwDecoding, HandSentTimingWithTwentyPercentJitterDecodes)
{
    cw::CwSynthesizer::Settings settings = signal(18.0, 10.0);
    settings.dJitterPercent = 20.0;
    EXPECT_EQ(decode(render(settings, TEXT + QStringLiteral(" TNX FER CALL"))),
              TEXT + QStringLiteral(" TNX FER CALL"));
}

TEST(CwDecoding, SpeedChangeWithinATransmissionIsFollowed)
{
    const QString text = QStringLiteral("THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890");
    for (double end : {40.0, 12.0}) {
        cw::CwSynthesizer::Settings settings = signal(20.0, 10.0);
        settings.dWpmEnd = end;
        double wpm = 0.0;
        const std::vector<int> codes =
            cwbench::demodulate(render(settings, text), 8000, 4096, &wpm);
        EXPECT_EQ(cwbench::normalized(cwbench::codesToText(codes)), text) << "to " << end;
        EXPECT_NEAR(wpm, end, end * 0.15);
    }
}

TEST(CwDecoding, SlowFadingDecodes)
{
    cw::CwSynthesizer::Settings settings = signal(20.0, 6.0);
    settings.dQsbHz = 0.2;
    EXPECT_EQ(decode(render(settings, TEXT)), TEXT);
}

TEST(CwDecoding, OtherSampleRatesDecode)
{
    for (int rate : {11025, 44100}) {
        cw::CwSynthesizer::Settings settings = signal(25.0, 100.0);
        settings.nSampleRate = rate;
        EXPECT_EQ(decode(render(settings, TEXT), rate), TEXT) << rate;
    }
}

TEST(CwDecoding, TranscriptionsAreSeparatedByLineEndsAndReacquired)
{
    // Two transmissions at different speeds, four seconds apart.
    std::vector<float> samples = render(signal(15.0, 100.0), QStringLiteral("FIRST"));
    cw::CwSynthesizer::Settings second = signal(35.0, 100.0);
    second.dLeadInSec = 4.0;
    const std::vector<float> more = render(second, QStringLiteral("SECOND"));
    samples.insert(samples.end(), more.begin(), more.end());
    EXPECT_EQ(cwbench::codesToText(cwbench::demodulate(samples, 8000)),
              QStringLiteral("FIRST \nSECOND \n"));
}

TEST(CwDecoding, EachCharacterEndsWithThreeAndEachWordWithFour)
{
    const std::vector<int> codes = cwbench::demodulate(render(signal(20.0, 100.0), "AE T"), 8000);
    EXPECT_EQ(codes, (std::vector<int>{0, 1, 3, 0, 3, 4, 1, 3, 4, 5}));
}

TEST(CwDecoding, SymbolPositionsFollowTheSignal)
{
    // "PARIS" keyed from 0.5 s: the first dot, 60 ms long, is placed at its end.
    cw::CwDemodulator::Settings settings;
    cw::CwDemodulator demodulator(settings);
    const std::vector<float> samples = render(signal(20.0, 100.0), QStringLiteral("PARIS"));
    demodulator.Process(samples.data(), samples.size());
    demodulator.Finish();
    cw::CwSymbol symbol;
    ASSERT_TRUE(demodulator.TakeSymbol(symbol));
    EXPECT_EQ(symbol.nCode, morse::SYMBOL_DOT);
    EXPECT_NEAR(double(symbol.nSamplePosition) / 8000.0, 0.5625, 0.01);
}

TEST(CwStreaming, CodesAreTheSameWhateverTheBlockSize)
{
    cw::CwSynthesizer::Settings settings = signal(22.0, 0.0);
    settings.dJitterPercent = 10.0;
    const std::vector<float> samples = render(settings, TEXT);
    const std::vector<int> whole = cwbench::demodulate(samples, 8000, int(samples.size()));
    ASSERT_FALSE(whole.empty());
    for (int block : {1, 7, 333, 4096})
        EXPECT_EQ(cwbench::demodulate(samples, 8000, block), whole) << block;
}

TEST(CwInput, SilenceAndNoiseAloneGiveNoText)
{
    EXPECT_TRUE(cwbench::demodulate(std::vector<float>(8000 * 10, 0.0f), 8000).empty());
    cw::CwSynthesizer::Settings settings = signal(20.0, -20.0);
    settings.dAmplitude = 0.0;
    EXPECT_EQ(decode(render(settings, QStringLiteral("EEEEE EEEEE"))), QString());
}

TEST(CwInput, DcOffsetAndClippingDoNotDisturbDecoding)
{
    std::vector<float> samples = render(signal(20.0, 10.0), TEXT);
    for (float& s : samples)
        s = std::clamp(s * 4.0f + 0.3f, -1.0f, 1.0f);
    EXPECT_EQ(decode(samples), TEXT);
}

TEST(CwInput, NotANumberAndInfinitiesAreTakenAsSilence)
{
    std::vector<float> samples = render(signal(20.0, 100.0), TEXT);
    for (size_t i = 0; i < 4000; ++i)
        samples[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN()
                           : std::numeric_limits<float>::infinity();
    EXPECT_EQ(decode(samples), TEXT);
}

TEST(CwInput, GivenPitchSkipsTheSearch)
{
    cw::CwSynthesizer::Settings synth = signal(20.0, 10.0);
    synth.dPitchHz = 1200.0;
    const std::vector<float> samples = render(synth, TEXT);
    cw::CwDemodulator::Settings settings;
    settings.dPitchHz = 1200.0;
    cw::CwDemodulator demodulator(settings);
    EXPECT_TRUE(demodulator.HasPitch());
    demodulator.Process(samples.data(), samples.size());
    demodulator.Finish();
    std::vector<int> codes;
    for (cw::CwSymbol symbol; demodulator.TakeSymbol(symbol);)
        codes.push_back(symbol.nCode);
    EXPECT_EQ(cwbench::normalized(cwbench::codesToText(codes)), TEXT);
}
