// The skimmer: the filter bank's channels, the signal finder, and whole bands of several
// signals decoded at once without phantoms.

#include "cwbenchsupport.h"
#include "cwskimband.h"

#include "tools/cwdemodulator/channelizer.h"
#include "tools/cwdemodulator/channelizertap.h"
#include "tools/cwdemodulator/cwskimmer.h"
#include "tools/cwdemodulator/signalfinder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<float> tone(double dHz, double dAmplitude, int nRate, size_t nCount)
{
    std::vector<float> samples(nCount);
    for (size_t i = 0; i < nCount; ++i)
        samples[i] = float(dAmplitude * std::cos(2.0 * M_PI * dHz * double(i) / nRate));
    return samples;
}

/// Runs @p input through a channelizer and one tap centred at @p dCentreHz.
std::vector<float> tapOutput(const std::vector<float>& input, int nRate, double dCentreHz,
                             double* pToneHz = nullptr, int* pDecimation = nullptr)
{
    cw::Channelizer channelizer(nRate, 1.0);
    cw::ChannelizerTap tap(channelizer, dCentreHz);
    std::vector<float> out;
    for (size_t i = 0; i < input.size();) {
        i += channelizer.Push(input.data() + i, input.size() - i);
        if (channelizer.FrameReady())
            tap.Process(channelizer.FrameCount() - 1, out);
    }
    if (pToneHz)
        *pToneHz = tap.ToneHz() + (dCentreHz - tap.CentreHz());
    if (pDecimation)
        *pDecimation = channelizer.Decimation();
    return out;
}

double rms(const std::vector<float>& samples, size_t nFrom)
{
    double sum = 0.0;
    for (size_t i = nFrom; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(samples.size() - nFrom));
}

struct TapCase
{
    int nRate;
    double dOffsetHz; ///< of the tone from the tap's centre
    double dGainDb;   ///< expected level of the tone in the tap's audio
};

class ChannelizerTapTest : public ::testing::TestWithParam<TapCase>
{
};

TEST_P(ChannelizerTapTest, PassesItsSignalWholeAndStopsNeighbours)
{
    const TapCase c = GetParam();
    const double centre = 1000.0;
    const std::vector<float> input = tone(centre + c.dOffsetHz, 0.5, c.nRate, size_t(c.nRate) * 2);
    const std::vector<float> out = tapOutput(input, c.nRate, centre);
    ASSERT_GT(out.size(), 1000u);
    const double level = 20.0 * std::log10(rms(out, out.size() / 2) / (0.5 / std::sqrt(2.0)));
    if (c.dGainDb > -50.0)
        EXPECT_NEAR(level, c.dGainDb, 0.5);
    else
        EXPECT_LT(level, c.dGainDb);
}

INSTANTIATE_TEST_SUITE_P(Rates, ChannelizerTapTest,
                         ::testing::Values(TapCase{8000, 0.0, 0.0}, TapCase{8000, 40.0, 0.0},
                                           TapCase{8000, -45.0, 0.0}, TapCase{8000, 150.0, -50.0},
                                           TapCase{8000, -300.0, -50.0}, TapCase{48000, 30.0, 0.0},
                                           TapCase{48000, 200.0, -50.0},
                                           TapCase{192000, -20.0, 0.0},
                                           TapCase{192000, 120.0, -50.0}));

TEST(ChannelizerTapTest, AudioIsAContinuousToneAcrossFrames)
{
    // A tone 13 Hz above the centre must come out as one clean sinusoid: a wrong phase
    // between frames would show as a jump every frame.
    const int rate = 8000;
    double toneHz = 0.0;
    int decimation = 0;
    const std::vector<float> out =
        tapOutput(tone(1013.0, 0.5, rate, rate * 2), rate, 1000.0, &toneHz, &decimation);
    const double outRate = double(rate) / decimation;
    // Fit the expected frequency's phase and amplitude on the second half, then compare.
    const size_t from = out.size() / 2;
    double c = 0.0, s = 0.0;
    for (size_t i = from; i < out.size(); ++i) {
        c += out[i] * std::cos(2.0 * M_PI * (toneHz + 13.0) * double(i) / outRate);
        s += out[i] * std::sin(2.0 * M_PI * (toneHz + 13.0) * double(i) / outRate);
    }
    const double n = double(out.size() - from);
    double worst = 0.0;
    for (size_t i = from; i < out.size(); ++i) {
        const double phase = 2.0 * M_PI * (toneHz + 13.0) * double(i) / outRate;
        const double fit = 2.0 / n * (c * std::cos(phase) + s * std::sin(phase));
        worst = std::max(worst, std::abs(out[i] - fit));
    }
    EXPECT_NEAR(2.0 / n * std::hypot(c, s), 0.5, 0.01);
    EXPECT_LT(worst, 0.01);
}

cw::SignalFinder::Settings finderSettings(const cw::Channelizer& channelizer)
{
    cw::SignalFinder::Settings settings;
    settings.dBinHz = channelizer.BinHz();
    settings.nBins = channelizer.Bins();
    settings.dFrameSec = channelizer.FrameSec();
    settings.dLowHz = 200.0;
    settings.dHighHz = 3500.0;
    return settings;
}

/// The lines the finder reports at the end of @p samples.
std::vector<cw::SignalFinder::Line> linesAtEnd(const std::vector<float>& samples)
{
    cw::Channelizer channelizer(8000, 1.0);
    cw::SignalFinder finder(finderSettings(channelizer));
    for (size_t i = 0; i < samples.size();) {
        i += channelizer.Push(samples.data() + i, samples.size() - i);
        if (channelizer.FrameReady())
            finder.Push(channelizer.Power());
    }
    return finder.Lines();
}

TEST(SignalFinderTest, NoiseAloneAndSteadyCarriersAreNoSignals)
{
    std::vector<float> noise(8000 * 6, 0.0f);
    noise[0] = 1.0f;
    cwbench::addNoise(noise, 8000, 0.0, 3);
    EXPECT_TRUE(linesAtEnd(noise).empty());
    const std::vector<float> carrier = tone(900.0, 0.5, 8000, noise.size());
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] += carrier[i];
    EXPECT_TRUE(linesAtEnd(noise).empty());
}

TEST(SignalFinderTest, FindsAKeyedLineAtItsPitch)
{
    cw::CwSynthesizer::Settings settings;
    settings.dPitchHz = 1234.0;
    settings.bNoise = true;
    settings.dSnrDb = 0.0;
    cw::CwSynthesizer synthesizer(settings);
    synthesizer.SetText(QStringLiteral("CQ CQ DE DL1ABC"));
    const auto lines = linesAtEnd(synthesizer.RenderAll());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0].dPitchHz, 1234.0, 2.0);
    EXPECT_NEAR(lines[0].dSnrDb, 0.0, 4.0);
}

TEST(CwSkimmerTest, DecodesThreeSignalsBesideAStrongClickingNeighbourWithoutPhantoms)
{
    QTemporaryDir work;
    cwskim::Band band;
    band.transmitters = {
        {QStringLiteral("CQ CQ DE DL1ABC DL1ABC K"), 600.0, 18.0, 3.0, 0.5, false, false, 5.0, 1},
        {QStringLiteral("TEST DE W1AW W1AW TEST"), 1000.0, 25.0, 8.0, 1.7, true, false, 5.0, 2},
        {QStringLiteral("UR RST 599 5NN TU"), 1850.0, 22.0, 0.0, 2.4, false, false, 5.0, 3},
        // A strong signal with hard keying 300 Hz above the second: its clicks reach far.
        {QStringLiteral("QRL QRL DE OK1XYZ"), 1300.0, 28.0, 25.0, 1.0, false, false, 0.5, 4},
    };
    const std::vector<float> samples = cwskim::render(band, 11, work.path());
    cw::CwSkimmer::Settings settings;
    settings.dSampleRate = band.nRate;
    const std::vector<cwskim::Decoded> decoded = cwskim::skim(samples, settings);
    const cwskim::Score score = cwskim::score(band, decoded);
    EXPECT_EQ(score.dPhantomShare, 0.0);
    ASSERT_EQ(score.cer.size(), 4u);
    for (size_t i = 0; i < score.cer.size(); ++i)
        EXPECT_LE(score.cer[i], 0.05) << "signal " << i;
}

} // namespace
