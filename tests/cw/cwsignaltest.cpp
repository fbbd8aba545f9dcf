// The signal side: the synthesizer's definitions (SNR, seeding) and the pitch search.

#include "tools/cwdemodulator/cwsynthesizer.h"
#include "tools/cwdemodulator/pitchdetector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

std::vector<float> render(const cw::CwSynthesizer::Settings& settings, const QString& text)
{
    cw::CwSynthesizer synthesizer(settings);
    EXPECT_TRUE(synthesizer.SetText(text));
    return synthesizer.RenderAll();
}

double power(const std::vector<float>& samples, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return sum / double(to - from);
}

} // namespace

TEST(CwSynthesizer, SnrIsToneOverNoiseInTwentyFiveHundredHertz)
{
    cw::CwSynthesizer::Settings settings;
    settings.bNoise = true;
    settings.dSnrDb = -3.0;
    settings.dWpm = 5.0; // "T": one 0.72 s dash
    settings.dLeadInSec = 1.0;
    const std::vector<float> samples = render(settings, QStringLiteral("T"));
    const double noise = power(samples, 0, 7000);          // lead-in: noise alone
    const double both = power(samples, 8200, 8000 + 5500); // inside the dash
    const double noiseIn2500Hz = noise * 2500.0 / 4000.0;
    EXPECT_NEAR(10.0 * std::log10((both - noise) / noiseIn2500Hz), -3.0, 0.3);
}

TEST(CwSynthesizer, SameSeedGivesTheSameRecordingAndAnotherSeedDoesNot)
{
    cw::CwSynthesizer::Settings settings;
    settings.bNoise = true;
    settings.dSnrDb = 0.0;
    settings.dJitterPercent = 20.0;
    const std::vector<float> first = render(settings, QStringLiteral("CQ TEST"));
    EXPECT_EQ(render(settings, QStringLiteral("CQ TEST")), first);
    settings.uSeed = 2;
    EXPECT_NE(render(settings, QStringLiteral("CQ TEST")), first);
}

TEST(CwSynthesizer, UnknownCharacterIsRefused)
{
    cw::CwSynthesizer synthesizer{cw::CwSynthesizer::Settings()};
    EXPECT_FALSE(synthesizer.SetText(QStringLiteral("CQ #")));
    EXPECT_TRUE(synthesizer.ErrorString().contains(QLatin1Char('#')));
}

TEST(CwPitch, ToneIsFoundWithinAHertzAmongNoise)
{
    for (double pitch : {230.0, 701.3, 1480.0}) {
        cw::CwSynthesizer::Settings settings;
        settings.dPitchHz = pitch;
        settings.bNoise = true;
        settings.dSnrDb = -6.0;
        const std::vector<float> samples = render(settings, QStringLiteral("CQ CQ CQ"));
        cw::PitchDetector detector(8000.0, 200.0, 1500.0);
        detector.Add(samples.data(), samples.size());
        EXPECT_TRUE(detector.HasPitch()) << pitch;
        EXPECT_NEAR(detector.Pitch(), pitch, 1.0);
    }
}

TEST(CwPitch, NoiseAloneHasNoClearTone)
{
    cw::CwSynthesizer::Settings settings;
    settings.bNoise = true;
    settings.dAmplitude = 0.0;
    const std::vector<float> samples = render(settings, QStringLiteral("PARIS PARIS"));
    cw::PitchDetector detector(8000.0, 200.0, 1500.0);
    detector.Add(samples.data(), samples.size());
    EXPECT_FALSE(detector.HasPitch());
}

TEST(CwPitch, TonesOutsideTheRangeAreIgnored)
{
    cw::CwSynthesizer::Settings low;
    low.dPitchHz = 120.0;
    low.dAmplitude = 0.4;
    std::vector<float> samples = render(low, QStringLiteral("TTTTTT"));
    cw::CwSynthesizer::Settings inRange;
    inRange.dPitchHz = 900.0;
    inRange.dAmplitude = 0.1;
    const std::vector<float> wanted = render(inRange, QStringLiteral("TTTTTT"));
    for (size_t i = 0; i < std::min(samples.size(), wanted.size()); ++i)
        samples[i] += wanted[i];
    cw::PitchDetector detector(8000.0, 200.0, 1500.0);
    detector.Add(samples.data(), samples.size());
    EXPECT_NEAR(detector.Pitch(), 900.0, 1.0);
}
