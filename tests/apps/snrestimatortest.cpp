// The signal-to-noise estimate of decode --format jsonl, on keyed tones of known noise.

#include "snrestimator.h"

#include "tools/morsedsp/dspconstants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double RATE = 8000.0;
constexpr double PITCH = 700.0;

/// Ten seconds of a tone keyed on and off every 60 ms, amplitude 0.5, with white noise of
/// @p noiseRms.
double estimateFor(double noiseRms)
{
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, float(noiseRms));
    std::vector<float> samples(size_t(RATE * 10));
    for (size_t i = 0; i < samples.size(); ++i) {
        const bool keyed = (i / size_t(RATE * 0.06)) % 2 == 0;
        const double tone = keyed ? 0.5 * std::sin(dsp::TWO_PI * PITCH * double(i) / RATE) : 0.0;
        samples[i] = float(tone) + (noiseRms > 0 ? noise(random) : 0.0f);
    }
    SnrEstimator estimator;
    estimator.create(RATE, PITCH);
    estimator.push(samples.data(), long(samples.size()));
    EXPECT_TRUE(estimator.hasEstimate());
    return estimator.estimateDb();
}

} // namespace

TEST(SnrEstimator, MoreNoiseGivesALowerEstimateAndNoneGivesTheCeiling)
{
    EXPECT_NEAR(estimateFor(0.0), 60.0, 0.1);
    double previous = 60.0;
    for (const double noiseRms : {0.01, 0.05, 0.2, 0.5}) {
        const double estimate = estimateFor(noiseRms);
        EXPECT_LT(estimate, previous) << noiseRms;
        previous = estimate;
    }
    // Each tenfold step of noise power costs about 10 dB once the noise dominates the floor.
    EXPECT_NEAR(estimateFor(0.05) - estimateFor(0.5), 20.0, 4.0);
}

TEST(SnrEstimator, TooShortAnInputHasNoEstimate)
{
    SnrEstimator estimator;
    estimator.create(RATE, PITCH);
    std::vector<float> halfSecond(size_t(RATE / 2), 0.1f);
    estimator.push(halfSecond.data(), long(halfSecond.size()));
    EXPECT_FALSE(estimator.hasEstimate());
}
