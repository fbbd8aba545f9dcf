// The timing rules on an ideal envelope: classification, the three error markers, the
// character, word and line ends, and speed tracking.

#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/cwsymbol.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr double UNIT = 20.0; // samples per element

class Recorder : public cw::CwTimingTracker::IListener
{
public:
    void OnSymbol(int code, qint64 position) override
    {
        codes.push_back(code);
        positions.push_back(position);
    }
    std::vector<int> codes;
    std::vector<qint64> positions;
};

class CwTimingTrackerTest : public ::testing::Test
{
protected:
    CwTimingTrackerTest() : tracker(settings(), &recorder) { tracker.Start(UNIT, 1.0f, 0.0f, 0); }

    static cw::CwTimingTracker::Settings settings()
    {
        cw::CwTimingTracker::Settings s;
        s.dMinUnit = 4.0;
        s.dMaxUnit = 100.0;
        s.dLineSilence = 3000.0;
        return s;
    }

    /// Feeds key-down (positive) and key-up (negative) runs given in element lengths.
    void key(const std::vector<double>& runs)
    {
        for (double run : runs) {
            const int samples = int(std::abs(run) * UNIT + 0.5);
            for (int i = 0; i < samples; ++i)
                tracker.Push(run > 0 ? 1.0f : 0.0f);
        }
    }

    Recorder recorder;
    cw::CwTimingTracker tracker;
};

} // namespace

TEST_F(CwTimingTrackerTest, DotsAndDashesEndCharactersAndWords)
{
    key({1, -1, 3, -3, 3, -7, 1, -3}); // A, T, word gap, E
    EXPECT_EQ(recorder.codes, (std::vector<int>{0, 1, 3, 1, 3, 4, 0, 3}));
}

TEST_F(CwTimingTrackerTest, CodesAreDecidedAsSoonAsTheTimingAllows)
{
    key({1, -1.5});
    EXPECT_EQ(recorder.codes, (std::vector<int>{0})); // still inside the character
    key({-0.6});
    EXPECT_EQ(recorder.codes, (std::vector<int>{0, 3}));
    EXPECT_EQ(recorder.positions[0], qint64(UNIT)); // at the dot's end
}

TEST_F(CwTimingTrackerTest, LongSilenceEndsTheLineOnce)
{
    key({1, -200});
    EXPECT_EQ(recorder.codes, (std::vector<int>{0, 3, 4, 5}));
    EXPECT_TRUE(tracker.LineEnded());
    key({-200});
    EXPECT_EQ(recorder.codes.size(), 4u);
}

TEST_F(CwTimingTrackerTest, ShortDotIsMarkedAsTooShort)
{
    key({3, -1, 0.55, -1, 3, -3});
    EXPECT_EQ(recorder.codes, (std::vector<int>{1, 64, 0, 1, 3}));
}

TEST_F(CwTimingTrackerTest, OverlongDashIsMarkedAsTooLong)
{
    key({1, -1, 6, -3});
    EXPECT_EQ(recorder.codes, (std::vector<int>{0, 65, 1, 3}));
}

TEST_F(CwTimingTrackerTest, ShortPauseIsMarkedAsTooShort)
{
    key({3, -0.4, 1, -3});
    EXPECT_EQ(recorder.codes, (std::vector<int>{1, 66, 0, 3}));
}

TEST_F(CwTimingTrackerTest, BriefDropoutsAndNoiseSpikesAreIgnored)
{
    key({1.4, -0.15, 1.4, -1.4, 0.3, -1.4, 1, -3});
    EXPECT_EQ(recorder.codes, (std::vector<int>{1, 3, 0, 3}));
}

TEST_F(CwTimingTrackerTest, EndOfInputFinishesTheCharacterWordAndLine)
{
    key({1, -1, 3});
    tracker.Finish();
    EXPECT_EQ(recorder.codes, (std::vector<int>{0, 1, 3, 4, 5}));
}

TEST_F(CwTimingTrackerTest, SpeedFollowsFasterAndSlowerSending)
{
    // "PARIS " three times at the start speed, then at double and at half of it.
    const std::vector<double> paris = {1, -1, 3, -1, 3, -1, 1, -3, 1, -1, 3, -3, 1, -1,
                                       3, -1, 1, -3, 1, -1, 1, -3, 1, -1, 1, -1, 1, -7};
    for (double factor : {1.0, 0.5, 2.0}) {
        for (int i = 0; i < 4; ++i) {
            std::vector<double> scaled;
            for (double run : paris)
                scaled.push_back(run * factor);
            key(scaled);
        }
        EXPECT_NEAR(tracker.Unit(), UNIT * factor, UNIT * factor * 0.15) << factor;
    }
}

TEST_F(CwTimingTrackerTest, SpeedStaysWithinItsLimits)
{
    key({0.1, -0.1, 0.1, -0.1});
    for (int i = 0; i < 40; ++i)
        key({40, -40});
    EXPECT_LE(tracker.Unit(), 100.0);
    EXPECT_GE(tracker.Unit(), 4.0);
}

TEST(CwTimingMisfit, MorseTimingFitsAndOtherTimingDoesNot)
{
    EXPECT_NEAR(cw::CwTimingTracker::Misfit(true, 3.0), 0.0, 1e-12);
    EXPECT_NEAR(cw::CwTimingTracker::Misfit(false, 7.0), 0.0, 1e-12);
    EXPECT_GT(cw::CwTimingTracker::Misfit(true, 7.0), 0.5);
    EXPECT_GT(cw::CwTimingTracker::Misfit(false, 1.8), 0.2);
}
