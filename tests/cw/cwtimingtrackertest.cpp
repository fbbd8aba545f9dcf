// The timing rules on an ideal envelope: classification, the three error markers, the
// character, word and line ends, and speed tracking.

#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/cwsymbol.h"
#include "tools/cwdemodulator/recentruns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

namespace {

constexpr double UNIT = 20.0; // samples per element

/// A tracker started at UNIT that records what it emits.
struct Keyer : cw::CwTimingTracker::IListener
{
    Keyer() { tracker.Start(UNIT, 1.0f, 0.0f, 0); }

    void OnSymbol(int code, qint64 position) override
    {
        codes.push_back(code);
        positions.push_back(position);
    }

    /// Feeds key-down (positive) and key-up (negative) runs given in element lengths.
    Keyer& key(const std::vector<double>& runs, double factor = 1.0)
    {
        for (double run : runs)
            for (int i = int(std::abs(run * factor) * UNIT + 0.5); i > 0; --i)
                tracker.Push(run > 0 ? 1.0f : 0.0f);
        return *this;
    }

    static cw::CwTimingTracker::Settings settings()
    {
        cw::CwTimingTracker::Settings s;
        s.dMinUnit = 4.0;
        s.dMaxUnit = 100.0;
        s.dLineSilence = 3000.0;
        return s;
    }

    std::vector<int> codes;
    std::vector<qint64> positions;
    cw::CwTimingTracker tracker{settings(), this};
};

} // namespace

TEST(CwTimingTracker, KeyingIsClassifiedAndBadTimingMarked)
{
    const struct
    {
        const char* name;
        std::vector<double> runs;
        std::vector<int> codes;
    } cases[] = {
        {"A T, word gap, E", {1, -1, 3, -3, 3, -7, 1, -3}, {0, 1, 3, 1, 3, 4, 0, 3}},
        {"short dot", {3, -1, 0.55, -1, 3, -3}, {1, 64, 0, 1, 3}},
        {"overlong dash", {1, -1, 6, -3}, {0, 65, 1, 3}},
        {"short pause", {3, -0.4, 1, -3}, {1, 66, 0, 3}},
        {"dropout and spike ignored", {1.4, -0.15, 1.4, -1.4, 0.3, -1.4, 1, -3}, {1, 3, 0, 3}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Keyer().key(c.runs).codes, c.codes) << c.name;
}

TEST(CwTimingTracker, SegmentsAreClassifiedAsTheSegmenterDecided)
{
    // Lengths between the usual decision points: the segment kinds settle them.
    using Kind = cw::CwSegmenter::Kind;
    Keyer keyer;
    qint64 at = 0;
    auto push = [&](bool on, double units, Kind kind) {
        const qint64 length = qint64(units * UNIT);
        keyer.tracker.PushSegment({on, at, length, on ? 1.0f : 0.0f, kind, 1.0f});
        at += length;
    };
    push(true, 2.2, Kind::Dot);
    push(false, 2.3, Kind::ElementGap); // long for a gap inside a character, but one
    push(true, 1.9, Kind::Dash);
    push(false, 1.8, Kind::CharacterGap); // short for the end of a character, but one
    push(true, 1.0, Kind::Dot);
    push(false, 7.0, Kind::CharacterGap);
    EXPECT_EQ(keyer.codes, (std::vector<int>{0, 1, 3, 0, 3, 4}));
}

TEST(CwTimingTracker, WordGapsAreJudgedAgainstTheCharacterGapsSentOnceTwoAreKnown)
{
    // Farnsworth spacing: characters at full speed, gaps of 6 and 14 elements.
    const std::vector<double> spaced = {1, -6, 1, -14, 1, -6, 1, -3};
    Keyer preset;
    preset.tracker.PresetCharacterGaps({6.2, 5.9, 14.1});
    EXPECT_EQ(preset.key(spaced).codes, (std::vector<int>{0, 3, 0, 3, 4, 0, 3, 0, 3}));
    // One gap alone may end a word: an opening such as "E T" keeps its later spaces.
    Keyer opening;
    EXPECT_EQ(opening.key({1, -7, 1, -7, 1, -3}).codes, (std::vector<int>{0, 3, 4, 0, 3, 4, 0, 3}));
    // So is a lone held gap of ordinary spacing; one too long for a word gap is Farnsworth's.
    Keyer heldWordGap;
    heldWordGap.tracker.PresetCharacterGaps({7.1});
    EXPECT_EQ(heldWordGap.key({1, -7, 1, -3}).codes, (std::vector<int>{0, 3, 4, 0, 3}));
    Keyer heldFarnsworthGap;
    heldFarnsworthGap.tracker.PresetCharacterGaps({10.9});
    EXPECT_EQ(heldFarnsworthGap.key({1, -11, 1, -25, 1, -3}).codes,
              (std::vector<int>{0, 3, 0, 3, 4, 0, 3}));
}

TEST(CwTimingTracker, CodesAreDecidedAsSoonAsTheTimingAllows)
{
    Keyer keyer;
    EXPECT_EQ(keyer.key({1, -1.5}).codes, (std::vector<int>{0})); // still inside the character
    EXPECT_EQ(keyer.key({-0.6}).codes, (std::vector<int>{0, 3}));
    EXPECT_EQ(keyer.positions[0], qint64(UNIT)); // at the dot's end
}

TEST(CwTimingTracker, LongSilenceEndsTheLineOnceAndEndOfInputEndsItToo)
{
    Keyer keyer;
    EXPECT_EQ(keyer.key({1, -200}).codes, (std::vector<int>{0, 3, 4, 5}));
    EXPECT_TRUE(keyer.tracker.LineEnded());
    EXPECT_EQ(keyer.key({-200}).codes.size(), 4u);

    Keyer cut;
    cut.key({1, -1, 3}).tracker.Finish();
    EXPECT_EQ(cut.codes, (std::vector<int>{0, 1, 3, 4, 5}));
}

TEST(CwTimingTracker, SpeedFollowsFasterAndSlowerSendingWithinItsLimits)
{
    // "PARIS " four times at the start speed, then at double and at half of it.
    const std::vector<double> paris = {1, -1, 3, -1, 3, -1, 1, -3, 1, -1, 3, -3, 1, -1,
                                       3, -1, 1, -3, 1, -1, 1, -3, 1, -1, 1, -1, 1, -7};
    Keyer keyer;
    for (double factor : {1.0, 0.5, 2.0}) {
        for (int i = 0; i < 4; ++i)
            keyer.key(paris, factor);
        EXPECT_NEAR(keyer.tracker.Unit(), UNIT * factor, UNIT * factor * 0.15) << factor;
    }
    // Keying far outside the limits leaves the speed at them.
    Keyer extreme;
    extreme.key({0.1, -0.1, 0.1, -0.1});
    for (int i = 0; i < 40; ++i)
        extreme.key({40, -40});
    EXPECT_LE(extreme.tracker.Unit(), 100.0);
    EXPECT_GE(extreme.tracker.Unit(), 4.0);
}

TEST(CwTimingTracker, RunsOnlyTrackerReportsTheRunsOfAFullOneAndNoSymbols)
{
    // Noisy keying with short dots and pauses, an overlong dash, word gaps and a silence that
    // ends the line, read at a unit a little off: the runs (lengths, peaks and dash levels)
    // are those a non-adapting tracker reports, the mark the input cuts short included,
    // whether the samples come one by one or in stretches cut anywhere (mid-edge too).
    struct Runs : cw::CwTimingTracker::IListener
    {
        void OnSymbol(int code, qint64) override { codes.push_back(code); }
        void OnRun(const cw::CwTimingTracker::Run& r) override
        {
            runs.push_back({r.bMark, r.nStart, r.nLength, r.fPeak, r.fLevel});
        }
        std::vector<int> codes;
        std::vector<std::tuple<bool, qint64, qint64, float, float>> runs;
    };
    const std::vector<double> keying = {1, -1,   3, -3, 0.5, -0.4, 1, -7, 6,  -1,
                                        1, -200, 3, -1, 1,   -3,   3, -5, 1.2};
    std::mt19937 generator(2);
    std::normal_distribution<float> noise(0.0f, 0.15f);
    std::vector<float> envelope;
    for (double run : keying)
        for (int i = int(std::abs(run) * UNIT * 1.1); i > 0; --i)
            envelope.push_back((run > 0 ? 1.0f : 0.0f) + noise(generator));
    cw::CwTimingTracker::Settings settings = Keyer::settings();
    settings.bAdapt = false;
    Runs full;
    Runs runsOnly;
    cw::CwTimingTracker fullTracker(settings, &full);
    settings.bRunsOnly = true;
    cw::CwTimingTracker runsOnlyTracker(settings, &runsOnly);
    for (cw::CwTimingTracker* tracker : {&fullTracker, &runsOnlyTracker}) {
        tracker->Start(UNIT, 1.0f, 0.0f, 0);
        for (float value : envelope)
            tracker->Push(value);
        tracker->Finish();
    }
    Runs stretches;
    cw::CwTimingTracker stretchTracker(settings, &stretches);
    stretchTracker.Start(UNIT, 1.0f, 0.0f, 0);
    for (size_t at = 0; at < envelope.size();) {
        const size_t count = std::min(envelope.size() - at, 1 + at % 37);
        stretchTracker.PushAll(envelope.data() + at, count);
        at += count;
    }
    stretchTracker.Finish();
    EXPECT_EQ(full.runs.size(), 19u);
    EXPECT_GT(full.codes.size(), 15u);
    EXPECT_EQ(runsOnly.runs, full.runs);
    EXPECT_TRUE(runsOnly.codes.empty());
    EXPECT_EQ(stretches.runs, full.runs);
    EXPECT_TRUE(stretches.codes.empty());
}

TEST(CwTimingMisfit, MorseTimingFitsAndOtherTimingDoesNot)
{
    EXPECT_NEAR(cw::CwTimingTracker::Misfit(true, 3.0), 0.0, 1e-12);
    EXPECT_NEAR(cw::CwTimingTracker::Misfit(false, 7.0), 0.0, 1e-12);
    EXPECT_GT(cw::CwTimingTracker::Misfit(true, 7.0), 0.5);
    EXPECT_GT(cw::CwTimingTracker::Misfit(false, 1.8), 0.2);
}

TEST(CwRecentRuns, RefitTakesOnlyAFarLengthThatFitsClearlyBetter)
{
    // "PARIS " at 20 samples an element, tracked at twice or near half that: taken at once;
    // tracked near it, or with dashes alone (which fit a third of the speed as well), or with
    // too few runs to tell: left as it was.
    const std::vector<int> paris = {1, -1, 3, -1, 3, -1, 1, -3, 1, -1, 3, -3, 1, -1,
                                    3, -1, 1, -3, 1, -1, 1, -3, 1, -1, 1, -1, 1, -7};
    auto remembered = [](const std::vector<int>& units, double dUnit) {
        cw::RecentRuns runs;
        for (int repeat = 0; repeat < 2; ++repeat) {
            for (int u : units)
                runs.Remember(u > 0, qint64(std::lround(std::abs(u) * dUnit)));
        }
        return runs;
    };
    const cw::RecentRuns sent = remembered(paris, 20.0);
    EXPECT_NEAR(sent.Refit(40.0, 4.0, 100.0), 20.0, 1.0);
    EXPECT_NEAR(sent.Refit(11.0, 4.0, 100.0), 20.0, 1.0);
    EXPECT_EQ(sent.Refit(21.5, 4.0, 100.0), 21.5);
    const cw::RecentRuns dashes = remembered({3, -1, 3, -3, 3, -1, 3, -7}, 20.0);
    EXPECT_EQ(dashes.Refit(30.0, 4.0, 100.0), 30.0);
    cw::RecentRuns few;
    for (int u : {1, -1, 3, -3})
        few.Remember(u > 0, qint64(std::abs(u) * 20));
    EXPECT_EQ(few.Refit(40.0, 4.0, 100.0), 40.0);
}
