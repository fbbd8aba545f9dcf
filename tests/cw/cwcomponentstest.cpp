// The demodulator's parts on signals with known answers: the maximum-likelihood segmenter,
// the carrier reference, the matched filter, the baseband converter and the mark level.

#include "tools/cwdemodulator/agcrecovery.h"
#include "tools/cwdemodulator/basebandconverter.h"
#include "tools/cwdemodulator/blockevidence.h"
#include "tools/cwdemodulator/blocknoise.h"
#include "tools/cwdemodulator/carrierreference.h"
#include "tools/cwdemodulator/channelfilter.h"
#include "tools/cwdemodulator/coherencewatch.h"
#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/cwspeedestimator.h"
#include "tools/cwdemodulator/envelopedetector.h"
#include "tools/cwdemodulator/fadefit.h"
#include "tools/cwdemodulator/fadeperiodwatch.h"
#include "tools/cwdemodulator/firstabove.h"
#include "tools/cwdemodulator/heldfilter.h"
#include "tools/cwdemodulator/heldlevelswing.h"
#include "tools/cwdemodulator/impulseblanker.h"
#include "tools/cwdemodulator/levelfollower.h"
#include "tools/cwdemodulator/levelsort.h"
#include "tools/cwdemodulator/levelswingwatch.h"
#include "tools/cwdemodulator/leveltrend.h"
#include "tools/cwdemodulator/localmarklevel.h"
#include "tools/cwdemodulator/localphaseprojector.h"
#include "tools/cwdemodulator/nodescoretable.h"
#include "tools/cwdemodulator/realtapfilter.h"
#include "tools/cwdemodulator/restartgridphase.h"
#include "tools/cwdemodulator/segmentlengthpriors.h"
#include "tools/cwdemodulator/unheardmarkwatch.h"
#include "tools/morsedsp/dspconstants.h"
#include "tools/morsedsp/ringbuffer.h"
#include "tools/morsedsp/slidingrun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int UNIT = 40; // samples per element

/// In-phase samples of keyed runs (positive: key-down units, negative: key-up units) plus
/// Gaussian noise of standard deviation @p sigma, with the tone amplitude 1.
std::vector<float> keyed(const std::vector<double>& runs, double sigma, unsigned seed = 3)
{
    std::mt19937 generator(seed);
    std::normal_distribution<float> noise(0.0f, float(sigma));
    std::vector<float> samples;
    for (double run : runs) {
        const int count = int(std::lround(std::abs(run) * UNIT));
        for (int i = 0; i < count; ++i)
            samples.push_back((run > 0 ? 1.0f : 0.0f) + (sigma > 0 ? noise(generator) : 0.0f));
    }
    return samples;
}

/// Every segment @p segmenter decides from now to the end of its input; @p pBeforeFinish counts
/// those decided before the end.
std::vector<cw::CwSegmenter::Segment> finish(cw::CwSegmenter& segmenter,
                                             size_t* pBeforeFinish = nullptr)
{
    std::vector<cw::CwSegmenter::Segment> segments;
    cw::CwSegmenter::Segment s;
    while (segmenter.TakeSegment(s))
        segments.push_back(s);
    if (pBeforeFinish)
        *pBeforeFinish = segments.size();
    segmenter.Finish();
    while (segmenter.TakeSegment(s))
        segments.push_back(s);
    return segments;
}

/// The segments found in @p samples; @p pBeforeFinish counts those decided before the end.
std::vector<cw::CwSegmenter::Segment> segment(const std::vector<float>& samples, double sigma,
                                              size_t* pBeforeFinish = nullptr,
                                              const std::vector<std::string>& codes = {})
{
    cw::CwSegmenter segmenter(codes);
    segmenter.Reset(0, float(std::max(sigma * sigma, 1e-4)));
    for (float sample : samples)
        segmenter.PushInPhase(sample, 1.0f, UNIT);
    return finish(segmenter, pBeforeFinish);
}

/// Complex samples of keyed @p runs (as for keyed()) whose key-down sample @p i of run @p r is
/// tone(r, i).
template <class Tone>
std::vector<std::complex<float>> keyedTone(const std::vector<double>& runs, Tone tone)
{
    std::vector<std::complex<float>> samples;
    for (size_t r = 0; r < runs.size(); ++r)
        for (int i = 0; i < int(std::lround(std::abs(runs[r]) * UNIT)); ++i)
            samples.push_back(runs[r] > 0 ? tone(r, i) : 0.0f);
    return samples;
}

/// The segments found in @p tone with Gaussian noise of @p sigma on either part, each weighed on
/// its own phase.
std::vector<cw::CwSegmenter::Segment> segmentOwnPhase(const std::vector<std::complex<float>>& tone,
                                                      float sigma, unsigned seed)
{
    std::mt19937 generator(seed);
    std::normal_distribution<float> noise(0.0f, sigma);
    cw::CwSegmenter segmenter;
    segmenter.Reset(0, sigma * sigma);
    for (const std::complex<float> sample : tone) {
        const std::complex<float> noisy(sample.real() + noise(generator),
                                        sample.imag() + noise(generator));
        segmenter.PushOwnPhase(noisy, noise(generator), 1.0f, UNIT);
    }
    return finish(segmenter);
}

/// The segments' lengths in units, key-down positive, rounded to tenths.
std::vector<double> lengths(const std::vector<cw::CwSegmenter::Segment>& segments)
{
    std::vector<double> result;
    for (const auto& s : segments)
        result.push_back((s.bOn ? 1 : -1) * std::round(10.0 * double(s.nLength) / UNIT) / 10.0);
    return result;
}

/// Length priors as a segmenter keeps them, for @p dBlocksPerUnit blocks an element;
/// @p bNormalised: true distributions, so that the evidence is the true log likelihood ratio.
cw::SegmentLengthPriors lengthPriors(double dBlocksPerUnit, bool bNormalised = true)
{
    cw::SegmentLengthPriors priors(cw::BlockEvidence::LONGEST_MARK, 64, -14.0, -14.0);
    priors.SetNormalised(bNormalised);
    priors.Set(dBlocksPerUnit);
    return priors;
}

/// Starts @p blocks afresh in noise of variance 1, each mark weighed on its own phase.
void startOnOwnPhase(cw::BlockEvidence& blocks)
{
    blocks.Reset(0, 1.0f);
    blocks.WeighOnOwnPhase(true);
}

/// Key-down by unit of @p runs (marks positive, gaps negative, in units) sent @p nRepeats
/// times.
std::vector<bool> keyedUnits(const std::vector<int>& runs, int nRepeats)
{
    std::vector<bool> units;
    for (int r = 0; r < nRepeats; ++r)
        for (int run : runs)
            units.insert(units.end(), size_t(std::abs(run)), run > 0);
    return units;
}

/// "TEST TEST ...": dash, character gap, dot, character gap, three dots, character gap, dash,
/// word gap.
std::vector<bool> keyedUnits(int nRepeats)
{
    return keyedUnits({3, -3, 1, -3, 1, -1, 1, -1, 1, -3, 3, -7}, nRepeats);
}

/// The level at @p dAt of a fade from 1 down by @p fDepth (0.9: 20 dB) and back every
/// @p dPeriod.
float fading(double dAt, double dPeriod, float fDepth = 0.9f)
{
    return 1.0f - fDepth * float(1.0 - std::cos(dsp::TWO_PI * dAt / dPeriod)) / 2.0f;
}

/// Filter lengths: every one up to five blocks of eight samples, and two far past them.
std::vector<size_t> firLengths()
{
    std::vector<size_t> lengths(40);
    std::iota(lengths.begin(), lengths.end(), size_t(1));
    lengths.insert(lengths.end(), {49, 93});
    return lengths;
}

/// The bits of @p fValue, to compare results to the bit (zeros' signs included).
std::uint32_t bitsOf(float fValue)
{
    std::uint32_t word = 0;
    std::memcpy(&word, &fValue, sizeof word);
    return word;
}

/// The segments as Morse: dots, dashes and a blank at each character gap.
std::string morse(const std::vector<cw::CwSegmenter::Segment>& segments)
{
    using Kind = cw::CwSegmenter::Kind;
    std::string text;
    for (const auto& s : segments)
        text += s.kind == Kind::Dot            ? "."
                : s.kind == Kind::Dash         ? "-"
                : s.kind == Kind::CharacterGap ? " "
                                               : "";
    return text;
}

} // namespace

TEST(CwSegmenter, CleanKeyingComesOutSegmentBySegmentAFixedDelayBehindTheInput)
{
    // Decisions trail the input by about twenty elements, and never wait for its end: all but
    // the last thirty units of silence are decided before it.
    const std::vector<double> runs = {-5, 1, -1, 3, -3, 1, -7, 3, -30};
    size_t decided = 0;
    EXPECT_EQ(lengths(segment(keyed(runs, 0.0), 0.0, &decided)), runs);
    EXPECT_EQ(decided, runs.size() - 1);
}

TEST(CwSegmenter, KeyingReadsTheSameWhereverItsBlocksFallInTheRings)
{
    // The search reads its rings of scores in runs up to where they wrap: a message several
    // times their length, started a block further each time, reads the same at every start.
    std::vector<double> message;
    for (int i = 0; i < 12; ++i)
        message.insert(message.end(), {1, -1, 3, -1, 1, -3, 3, -3, 1, -1, 1, -7});
    message.back() = -10.0;
    for (int shift = 0; shift < 40; shift += 3) {
        std::vector<double> runs = {-5.0 - double(shift) / 8.0};
        runs.insert(runs.end(), message.begin(), message.end());
        std::vector<double> found = lengths(segment(keyed(runs, 0.3, 5), 0.3));
        ASSERT_EQ(found.size(), runs.size()) << "shift " << shift;
        found.front() = runs.front() = 0.0; // the lead-in, rounded to tenths
        EXPECT_EQ(found, runs) << "shift " << shift;
    }
}

TEST(CwSegmenter, NoiseNeitherSplitsDashesNorInventsDots)
{
    // About -6 dB at 40 WPM: single samples are buried, whole elements are not.
    const std::vector<double> runs = {-5, 3, -1, 3, -1, 3, -3, 1, -1, 1, -7, 3, -3, 1, -5};
    int wrong = 0;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        const std::vector<double> found = lengths(segment(keyed(runs, 0.9, seed), 0.9));
        wrong += found.size() != runs.size();
    }
    EXPECT_LE(wrong, 1);
}

TEST(CwSegmenter, MarksWeighedOnTheirOwnPhaseKeepTheirLengthsWhateverThePhaseDid)
{
    // Each element starts at another phase, as from a generator that restarts its tone, in the
    // same noise on each part: on one fixed phase some marks would cancel out.
    const std::vector<double> runs = {-5, 3, -1, 1, -1, 3, -3, 1, -1, 1, -7, 3, -3, 1, -9};
    int wrong = 0;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        std::mt19937 generator(seed);
        std::uniform_real_distribution<float> angle(0.0f, float(dsp::TWO_PI));
        std::vector<float> phases(runs.size());
        std::generate(phases.begin(), phases.end(), [&] { return angle(generator); });
        const auto segments = segmentOwnPhase(
            keyedTone(runs, [&](size_t r, int) { return std::polar(1.0f, phases[r]); }), 0.9f,
            seed);
        if (lengths(segments).size() != runs.size()) {
            ++wrong;
            continue;
        }
        // Their level is the tone's, not its projection on some phase.
        double level = 0.0;
        for (const auto& s : segments)
            level += s.bOn ? double(s.fLevel) / 7.0 : 0.0;
        EXPECT_NEAR(level, 1.0, 0.15) << "seed " << seed;
    }
    EXPECT_LE(wrong, 1);
}

TEST(CwSegmenter, DashesWhosePhaseTurnsEveryElementLengthStayDashes)
{
    // The tone turns half a cycle at each element length inside a dash, so that on one phase
    // its pieces cancel: only the dash weighed in pieces on their own phases is kept whole.
    const std::vector<double> runs = {-5, 3, -1, 3, -3, 1, -1, 3, -7, 3, -5};
    const auto tone = keyedTone(runs, [](size_t, int i) { return (i / UNIT) % 2 ? -1.0f : 1.0f; });
    int wrong = 0;
    for (unsigned seed = 1; seed <= 6; ++seed)
        wrong += lengths(segmentOwnPhase(tone, 0.5f, seed)) == runs ? 0 : 1;
    EXPECT_LE(wrong, 1);
}

TEST(CwBlockEvidence, BlocksFollowTheElementLengthAndSumWhatWasPushed)
{
    // An element of 80 samples cut into 8 blocks of 10: a mark block at the mark level, a
    // silent one, and a mark again, with noise of variance 1 per sample.
    const cw::SegmentLengthPriors priors = lengthPriors(8.0);
    cw::BlockEvidence blocks(8);
    blocks.Reset(100, 1.0f);
    const qint64 origin = blocks.Origin();
    for (float level : {1.0f, 0.0f, 1.0f}) {
        ASSERT_TRUE(blocks.IsBetweenBlocks());
        EXPECT_DOUBLE_EQ(blocks.StartBlock(80.0), 8.0);
        int samples = 0;
        while (!blocks.Add(level, 1.0f))
            ++samples;
        EXPECT_EQ(samples + 1, 10);
        blocks.CloseBlock(priors);
    }
    EXPECT_EQ(blocks.Latest(), origin + 3);
    EXPECT_EQ(blocks.BlockStart(origin), 100);
    EXPECT_EQ(blocks.BlockStart(origin + 3), 130);
    EXPECT_DOUBLE_EQ(blocks.SumBetween(origin, origin + 3).real(), 20.0);
    EXPECT_DOUBLE_EQ(blocks.AmplitudeBetween(origin + 1, origin + 2), 10.0);
    // A block at the mark level speaks for a mark as much as a silent one against it:
    // a S - n a^2 / 2 over the noise, 10 - 5 and 0 - 5.
    EXPECT_DOUBLE_EQ(blocks.EvidenceTo(origin + 1) - blocks.EvidenceTo(origin), 5.0);
    EXPECT_DOUBLE_EQ(blocks.EvidenceTo(origin + 2) - blocks.EvidenceTo(origin + 1), -5.0);

    // A new run starts past every block the rings still hold, from nothing.
    blocks.Reset(500, 1.0f);
    EXPECT_GT(blocks.Origin(), origin + 3);
    EXPECT_EQ(blocks.BlockStart(blocks.Origin()), 500);
    EXPECT_DOUBLE_EQ(blocks.EvidenceTo(blocks.Origin()), 0.0);
    EXPECT_TRUE(blocks.IsBetweenBlocks());
}

/// Each mark length's evidence on its own phase is the log likelihood ratio log I0(|S| / N) -
/// n / (2 N) for amplitude 1, or for a mark of several element-long pieces the better of that
/// and each piece on its own phase at a price of 8 per change. A span's evidence shared between
/// lengths must not be read at the next boundary, nor by another segmenter on the same thread.
TEST(CwBlockEvidence, OwnPhaseEvidenceOfEveryMarkLengthIsWeighedAfreshAtEachBoundary)
{
    const cw::SegmentLengthPriors priors = lengthPriors(8.0);
    // Blocks of 10 samples; tones keyed in runs whose phase turns from block to block, by
    // more inside some marks than an element's pieces could follow on one phase.
    struct Weighed
    {
        cw::BlockEvidence blocks{8};
        std::vector<std::complex<double>> blockSums;
        double dPhase = 0.0;
    };
    Weighed tones[2];
    for (Weighed& tone : tones)
        startOnOwnPhase(tone.blocks);
    ASSERT_EQ(tones[0].blocks.Origin(), tones[1].blocks.Origin());
    const qint64 origin = tones[0].blocks.Origin();
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    for (int b = 0; b < 120; ++b) {
        for (int t = 0; t < 2; ++t) {
            Weighed& tone = tones[t];
            const bool on = ((b + 4 * t) / 9) % 3 != 2;
            tone.dPhase += ((b + 7 * t) / 27) % 2 ? 1.3 : 0.1;
            ASSERT_DOUBLE_EQ(tone.blocks.StartBlock(80.0), 8.0);
            std::complex<double> sum = 0.0;
            bool complete = false;
            while (!complete) {
                const std::complex<float> sample =
                    (on ? std::polar(1.0f, float(tone.dPhase)) : 0.0f) +
                    0.3f * std::complex<float>(noise(random), noise(random));
                sum += std::complex<double>(sample);
                complete = tone.blocks.Add(sample, 1.0f);
            }
            tone.blocks.CloseBlock(priors);
            tone.blockSums.push_back(sum);
        }
        // The lengths are read from the two tones in turn: each weighs its spans in the
        // thread's table when asked, after the other's.
        const qint64 boundary = tones[0].blocks.Latest();
        const qint64 shortest = std::min(priors.Dot().nShortest, priors.Dash().nShortest);
        const qint64 longest = std::min<qint64>(
            std::max(priors.Dot().nLongest, priors.Dash().nLongest), boundary - origin);
        for (qint64 d = shortest; d <= longest; ++d) {
            for (const Weighed& tone : tones) {
                // The spans' evidence straight from the blocks' sums, 10 samples each, noise 1.
                auto span = [&](qint64 nFirst, qint64 nLast) {
                    std::complex<double> total = 0.0;
                    for (qint64 k = nFirst; k < nLast; ++k)
                        total += tone.blockSums[size_t(k - origin)];
                    return std::log(std::cyl_bessel_i(0.0, std::abs(total))) -
                           0.5 * 10.0 * double(nLast - nFirst);
                };
                const qint64 first = boundary - d;
                double expected = span(first, boundary);
                const qint64 pieces = priors.MarkPieces(d);
                if (pieces > 1) {
                    double split = -8.0 * double(pieces - 1);
                    for (qint64 i = 0; i < pieces; ++i)
                        split += span(first + d * i / pieces, first + d * (i + 1) / pieces);
                    expected = std::max(expected, split);
                }
                // The weighing's log I0 is a series good to about 1e-3 per span.
                const double weighed = tone.blocks.OwnPhaseEvidence(d);
                ASSERT_NEAR(weighed, expected, 1e-2 * double(pieces + 1))
                    << "mark of " << d << " blocks at boundary " << boundary - origin;
                ASSERT_GE(tone.blocks.OwnPhaseBoundByLength()[d], weighed);
            }
        }
    }
}

/// The bound a search compares before weighing a mark on its own phase is never below the
/// evidence (a length it skips could not have won): for marks whole and split, strong, weak and
/// noise alone, with the restart grid's prior and without, for decoding or for scoring.
TEST(CwBlockEvidence, OwnPhaseBoundIsNeverBelowTheEvidence)
{
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    int losing = 0;
    int weighed = 0;
    for (bool normalised : {false, true}) {
        for (bool grid : {false, true}) {
            for (float level : {0.0f, 0.3f, 1.0f, 3.0f}) {
                SCOPED_TRACE(testing::Message() << normalised << grid << level);
                const cw::SegmentLengthPriors priors = lengthPriors(5.0, normalised);
                cw::BlockEvidence blocks(5);
                startOnOwnPhase(blocks);
                if (grid)
                    blocks.SetRestartGrid(0.01);
                double phase = 0.0;
                qint64 n = 0;
                for (int b = 0; b < 150; ++b) {
                    const bool on = (b / 5) % 4 != 3 && b % 20 < 15 && (b / 3) % 2 == 0;
                    phase += b % 40 < 20 ? 0.05 : 0.9;
                    blocks.StartBlock(40.0);
                    std::complex<double> sum = 0.0;
                    const qint64 start = n;
                    for (bool complete = false; !complete; ++n) {
                        const std::complex<float> sample =
                            (on ? std::polar(level, float(phase - 0.01 * double(n))) : 0.0f) +
                            std::complex<float>(noise(random), noise(random));
                        sum += std::complex<double>(sample);
                        complete = blocks.Add(sample, std::max(level, 0.5f));
                    }
                    blocks.CloseBlock(priors);
                    if (grid && on)
                        blocks.LearnMark(sum, start);
                    const qint64 longest =
                        std::min<qint64>(std::max(priors.Dot().nLongest, priors.Dash().nLongest),
                                         blocks.Latest() - blocks.Origin());
                    for (qint64 d = std::min(priors.Dot().nShortest, priors.Dash().nShortest);
                         d <= longest; ++d) {
                        const double evidence = blocks.OwnPhaseEvidence(d);
                        const double bound = blocks.OwnPhaseBoundByLength()[d];
                        ASSERT_GE(bound, evidence) << d << " blocks at block " << b;
                        losing += bound < 0.0 ? 1 : 0;
                        ++weighed;
                    }
                }
            }
        }
    }
    // A bound that held only by being loose would spare no weighing: over gaps and noise it
    // says the mark is less likely than none (about one length in seven here).
    EXPECT_GT(losing, weighed / 10);
}

TEST(CwBlockEvidence, OwnPhaseMarkLosesBySilenceAfterItThoughTheNoiseMeasuredFalls)
{
    // A dash whose quadrature measured high (as an unsteady tone's does), then silence at a low
    // level, so that the noise measured falls block by block: the dash with the silence after
    // it must still lose to the dash alone, weighed at any later boundary.
    const cw::SegmentLengthPriors priors = lengthPriors(8.0);
    cw::BlockEvidence blocks(8);
    startOnOwnPhase(blocks);
    auto pushBlock = [&](bool on) {
        ASSERT_DOUBLE_EQ(blocks.StartBlock(80.0), 8.0);
        bool complete = false;
        for (int i = 0; !complete; ++i) {
            // One quadrature sample of sqrt(10) per block keeps the measure at 1.
            blocks.MeasureNoise(on && i == 0 ? std::sqrt(10.0f) : 0.0f);
            complete = blocks.Add(on ? std::polar(1.0f, 0.7f) : 0.0f, on ? 1.0f : 0.1f);
        }
        blocks.CloseBlock(priors);
    };
    const qint64 dash = 24;
    for (qint64 b = 0; b < dash; ++b)
        pushBlock(true);
    const double alone = blocks.OwnPhaseEvidence(dash);
    const qint64 longest = std::max(priors.Dot().nLongest, priors.Dash().nLongest);
    ASSERT_GE(longest, dash + 8);
    for (qint64 gap = 1; dash + gap <= longest; ++gap) {
        pushBlock(false);
        EXPECT_LT(blocks.OwnPhaseEvidence(dash + gap), alone) << gap << " blocks of silence";
    }
}

TEST(CwBlockNoise, ATonesOwnQuadratureInItsMarksIsNotTakenForNoiseButABurstIs)
{
    // Blocks of 10 samples in turn mark and gap, noise of variance 1 on the quadrature; the
    // marks' quadrature also holds a little of the tone (a phase followed closely) or far more.
    using Content = cw::BlockNoise::Content;
    auto measure = [](double dInMarks, Content marks) {
        std::mt19937 random(3);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        cw::BlockNoise blockNoise;
        blockNoise.Reset(1.0f);
        for (int b = 0; b < 4000; ++b) {
            const bool mark = (b / 3) % 2 == 0;
            for (int i = 0; i < 10; ++i)
                blockNoise.AddQuadrature(noise(random) + (mark ? float(dInMarks) : 0.0f));
            blockNoise.CloseBlock(10, mark ? marks : Content::Gap);
        }
        return blockNoise.Variance();
    };
    // While the marks add little (0.2 in their quadrature adds 0.2 to the measure on
    // average), every block's measure is given, as when no block is told a mark.
    EXPECT_EQ(measure(0.2, Content::Mark), measure(0.2, Content::Gap));
    // Far more of the tone than noise there: the gaps' measure alone, not every block's.
    EXPECT_GT(measure(2.0, Content::Gap), 15.0f);
    EXPECT_NEAR(measure(2.0, Content::Mark), 1.0, 0.3);
    // What a crash leaves is no tone's: it stays in the measure.
    EXPECT_EQ(measure(2.0, Content::Burst), measure(2.0, Content::Gap));
}

/// Lengths left out under the floor are exactly those whose prior, computed with no floor, is
/// under it, for element lengths all over the range and both floors.
TEST(CwLengthPriors, AFloorLeavesOutExactlyTheLengthsUnderIt)
{
    using Priors = cw::SegmentLengthPriors;
    constexpr int LONGEST_GAP = 64;
    int kept = 0;
    int dropped = 0;
    for (double floor : {-6.0, -14.0}) {
        for (double blocksPerUnit = 1.5; blocksPerUnit < 16.0; blocksPerUnit += 0.0371) {
            SCOPED_TRACE(testing::Message() << floor << " at " << blocksPerUnit);
            cw::SegmentLengthPriors cut(cw::BlockEvidence::LONGEST_MARK, LONGEST_GAP, floor, floor);
            cw::SegmentLengthPriors open(cw::BlockEvidence::LONGEST_MARK, LONGEST_GAP, -1e6, -1e6);
            // The floor is on the length priors themselves, before the bonus marks get while
            // the level holds still.
            cut.SetLevelFollowed(true);
            open.SetLevelFollowed(true);
            cut.Set(blocksPerUnit);
            open.Set(blocksPerUnit);
            for (auto prior :
                 {&Priors::Dot, &Priors::Dash, &Priors::ElementGap, &Priors::CharacterGap}) {
                const std::vector<double>& a = (cut.*prior)().log;
                const std::vector<double>& all = (open.*prior)().log;
                ASSERT_EQ(a.size(), all.size());
                for (size_t d = 0; d < all.size(); ++d) {
                    if (all[d] > floor) {
                        ASSERT_EQ(a[d], all[d]) << d;
                        ++kept;
                    } else {
                        ASSERT_EQ(a[d], -HUGE_VAL) << d;
                        dropped += std::isfinite(all[d]) ? 1 : 0;
                    }
                }
            }
        }
    }
    EXPECT_GT(kept, 1000);
    EXPECT_GT(dropped, 1000);
}

TEST(CwSegmenter, AFaintBlipInAGapIsReadAsADotOnlyWhereItMakesALikelyCharacter)
{
    // A blip an element long in a gap, at a share of the tone, in noise of 0.9. Between "O" and
    // "P" a dot would make "---..--.", no International character: the blip stays noise, but
    // where that code is a character it is read as its middle dot. Signs are rare in traffic
    // next to letters and digits, so the blip that joins "S E" into a 5 leaves the two letters
    // of "N A" apart rather than make an =. Mid word gap, a blip barely likelier a dot than
    // noise (near the noise floor such bursts added E's between words) is no E; a full one is.
    struct Case
    {
        std::vector<double> runs;
        int nBlipUnit;
        float fBlip;
        std::vector<std::string> codes;
        const char* morse;
    };
    const std::vector<double> op = {-5, 3, -1, 3, -1, 3, -3, 1, -1, 3, -1, 3, -1, 1, -5};
    const std::vector<double> aa = {-5, 1, -1, 3, -7, 1, -1, 3, -5};
    const Case cases[] = {
        {op, 17, 0.65f, {}, " --- .--. "},
        {op, 17, 0.65f, {"---..--."}, " ---..--. "},
        {{-5, 1, -1, 1, -1, 1, -3, 1, -5}, 11, 0.5f, {}, " ..... "},
        {{-5, 3, -1, 1, -3, 1, -1, 3, -5}, 11, 0.5f, {}, " -. .- "},
        {aa, 13, 0.55f, {}, " .- .- "},
        {aa, 13, 1.0f, {}, " .- . .- "},
    };
    for (const Case& c : cases) {
        std::vector<float> samples = keyed(c.runs, 0.0);
        std::fill(samples.begin() + c.nBlipUnit * UNIT, samples.begin() + (c.nBlipUnit + 1) * UNIT,
                  c.fBlip);
        EXPECT_EQ(morse(segment(samples, 0.9, nullptr, c.codes)), c.morse) << c.fBlip;
    }
}

namespace {

/// Keying of whole "K R" runs, at least @p nSamples, on a carrier @p dOffsetHz off at @p dRate
/// samples a second; beside it an unkeyed tone three times as strong at @p dNeighbourHz, if any.
std::vector<std::complex<float>> keyedOffset(double dRate, double dOffsetHz, size_t nSamples,
                                             double dNeighbourHz = 0.0)
{
    const std::vector<float> keying = keyed({-3, 3, -1, 1, -1, 3, -3, 1, -1, 1, -7}, 0.0);
    const float neighbour = dNeighbourHz != 0.0 ? 3.0f : 0.0f;
    std::vector<std::complex<float>> samples;
    while (samples.size() < nSamples) {
        for (float key : keying) {
            const double t = double(samples.size()) / dRate;
            samples.push_back(std::polar(key, float(dsp::TWO_PI * dOffsetHz * t + 0.7)) +
                              std::polar(neighbour, float(dsp::TWO_PI * dNeighbourHz * t)));
        }
    }
    return samples;
}

/// Complex samples of @p runs keyed three times (as for keyed()) at @p dUnit samples an
/// element and @p fLevel, with noise of @p fSigma on either part.
std::vector<std::complex<float>> keyedThrice(const std::vector<double>& runs, double dUnit,
                                             float fLevel, float fSigma, std::mt19937& generator)
{
    std::normal_distribution<float> noise(0.0f, fSigma);
    std::vector<std::complex<float>> samples;
    for (int repeat = 0; repeat < 3; ++repeat) {
        for (double run : runs) {
            for (long i = std::lround(std::abs(run) * dUnit); i > 0; --i)
                samples.emplace_back((run > 0 ? fLevel : 0.0f) + noise(generator),
                                     noise(generator));
        }
    }
    return samples;
}

} // namespace

TEST(CwCarrier, OffsetIsFoundAnywhereInTheSearchAndTheKeyingLeftInPhase)
{
    // Searched coarsely, then finely: offsets of either sign, between and near the edges of the
    // coarse bins, in short and long stretches. Corrected, the in-phase part carries the keying.
    for (int repeats : {2, 9}) {
        for (double offset : {-11.2, -4.71, -0.06, 0.0, 0.37, 2.3, 6.13, 10.9}) {
            SCOPED_TRACE(testing::Message() << offset << " Hz, " << repeats << " times");
            const auto samples = keyedOffset(1000.0, offset, size_t(repeats * 30 * UNIT));
            cw::CarrierReference carrier(1000.0);
            EXPECT_EQ(carrier.Learn(samples.data(), samples.size(), UNIT, 0.5f),
                      cw::CarrierReference::Tone::Steady);
            EXPECT_FALSE(carrier.HasRestartGrid());
            EXPECT_NEAR(carrier.OffsetHz(), offset, 0.05);
            std::vector<std::complex<float>> inPhase;
            carrier.ProjectLearned(samples.data(), samples.size(), inPhase);
            EXPECT_NEAR(inPhase[size_t(3.5 * UNIT)].real(), 1.0f, 0.05f);
            EXPECT_NEAR(inPhase[size_t(6.5 * UNIT)].real(), 0.0f, 0.05f);
        }
    }
}

TEST(CwCarrier, LineIsNotTakenFromAStrongerToneBeyondTheSearch)
{
    // The coarse search reads only the bins near 0: a stronger unkeyed neighbour beyond it must
    // not fold onto them, at rates where the folding differs.
    for (double rate : {500.0, 8000.0}) {
        for (double neighbour : {-70.0, -55.0, 30.0, 55.0, 100.0, 180.0}) {
            SCOPED_TRACE(testing::Message() << neighbour << " Hz at " << rate);
            const auto samples = keyedOffset(rate, 3.1, size_t(3.0 * rate), neighbour);
            cw::CarrierReference carrier(rate);
            carrier.Learn(samples.data(), samples.size(), UNIT, 0.5f);
            EXPECT_NEAR(carrier.OffsetHz(), 3.1, 0.05);
        }
    }
}

TEST(CwSpeed, ElementLengthIsFoundAcrossTheSpeedRangeInMagnitudeAndInPhase)
{
    // The lengths are searched coarse to fine; in phase, noise makes levels of either sign.
    const std::vector<double> text = {-7, 3,  -1, 1,  -1, 3,  -1, 1,  -3, 3,  -1, 3,  -1, 1, -3,
                                      1,  -3, 1,  -1, 1,  -1, 3,  -3, 3,  -1, 3,  -1, 1,  -7};
    for (double unit : {9.0, 17.0, 40.0, 75.0, 130.0}) {
        std::mt19937 generator(11);
        const std::vector<std::complex<float>> samples =
            keyedThrice(text, unit, 1.0f, 0.1f, generator);
        for (bool inPhase : {false, true}) {
            SCOPED_TRACE(testing::Message() << unit << (inPhase ? " in phase" : ""));
            cw::CwSpeedEstimator estimator(8.0, 150.0);
            const cw::CwSpeedEstimator::Result result =
                estimator.Estimate(samples.data(), samples.size(), 6, inPhase);
            EXPECT_TRUE(result.bFound);
            EXPECT_NEAR(result.dUnit / unit, 1.0, 0.08);
            EXPECT_NEAR(result.fMarkLevel, 1.0f, 0.15f);
        }
    }
}

TEST(CwSpeed, EstimatorKeptAcrossSamplesLimitsAndReadingsAnswersAsAFreshOne)
{
    // The estimator keeps its best trial's envelope and its trials' timing tracker: nothing of
    // them may reach the next estimate, of other samples (two at the same speed, so that the
    // same lengths are tried, and one faster), another limit or in phase.
    const std::vector<double> text = {-7, 3, -1, 1, -3, 1, -1, 3, -1, 3, -3, 1, -1, 1, -1, 1, -7};
    std::mt19937 generator(3);
    std::vector<std::vector<std::complex<float>>> recordings;
    for (const auto& [unit, level] :
         {std::pair{20.0, 1.0f}, std::pair{20.0, 3.0f}, std::pair{11.0, 2.0f}})
        recordings.push_back(keyedThrice(text, unit, level, 0.15f, generator));
    cw::CwSpeedEstimator kept(8.0, 150.0);
    for (double near : {0.0, 18.0, 20.0, 22.0, 25.0}) {
        for (size_t r = 0; r < recordings.size(); ++r) {
            for (bool inPhase : {false, true}) {
                for (float limit : {0.0f, 1.5f}) {
                    SCOPED_TRACE(testing::Message() << r << (inPhase ? " in phase" : "")
                                                    << " limit " << limit << " near " << near);
                    const auto& samples = recordings[r];
                    cw::CwSpeedEstimator fresh(8.0, 150.0);
                    for (cw::CwSpeedEstimator* estimator : {&fresh, &kept}) {
                        estimator->LimitLevel(limit);
                        estimator->SearchNear(near);
                    }
                    const cw::CwSpeedEstimator::Result expected =
                        fresh.Estimate(samples.data(), samples.size(), 6, inPhase);
                    const cw::CwSpeedEstimator::Result result =
                        kept.Estimate(samples.data(), samples.size(), 6, inPhase);
                    EXPECT_TRUE(expected.bFound);
                    EXPECT_EQ(result.bFound, expected.bFound);
                    EXPECT_EQ(result.dUnit, expected.dUnit);
                    EXPECT_EQ(result.fMarkLevel, expected.fMarkLevel);
                    EXPECT_EQ(result.fSpaceLevel, expected.fSpaceLevel);
                    EXPECT_EQ(result.nMarks, expected.nMarks);
                    EXPECT_EQ(result.dCost, expected.dCost);
                }
            }
        }
    }
}

TEST(CwCarrier, ToneWhosePhaseJumpsEveryElementIsNotSteadyAndItsOffsetIsReadInsideTheMarks)
{
    // Each mark would be weighed on its own phase: an offset left would turn it.
    const double offset = 1.5;
    std::mt19937 generator(5);
    std::uniform_real_distribution<float> angle(0.0f, float(dsp::TWO_PI));
    std::vector<std::complex<float>> samples;
    for (int element = 0; element < 60; ++element) {
        const double phase = angle(generator);
        for (int i = 0; i < UNIT; ++i) {
            const double turned = phase + dsp::TWO_PI * offset * double(samples.size()) / 1000.0;
            samples.push_back(element % 2 == 0 ? std::polar(1.0f, float(turned)) : 0.0f);
        }
    }
    cw::CarrierReference carrier(1000.0);
    EXPECT_EQ(carrier.Learn(samples.data(), samples.size(), UNIT, 0.5f),
              cw::CarrierReference::Tone::Unsteady);
    EXPECT_NEAR(carrier.OffsetHz(), offset, 0.15);
    EXPECT_FALSE(carrier.HasRestartGrid()); // the phases have no order to predict them by
}

TEST(CwCarrier, ToneRestartingOnTheElementGridIsNotSteadyThoughItsMarksStartInStep)
{
    // A generator that starts every element at phase zero, its pitch a little off a whole
    // number of cycles per element: each mark turns against the spectral line its starts step
    // with. Near the noise floor too, where noise over the threshold hides the turn from one
    // key-down average to the next; a steady tone in the same noise stays steady.
    const double stepCycles = 0.06; ///< per element
    const std::vector<float> keying = keyed({-3, 3, -1, 1, -1, 3, -3, 1, -1, 1, -7}, 0.0);
    for (float sigma : {0.0f, 1.1f}) {
        for (bool restarting : {true, false}) {
            SCOPED_TRACE(testing::Message() << sigma << (restarting ? " restarting" : ""));
            std::mt19937 generator(7);
            std::normal_distribution<float> noise(0.0f, std::max(sigma, 1e-9f));
            std::vector<std::complex<float>> samples;
            for (int repeat = 0; repeat < 4; ++repeat) {
                double start = 0.0;
                for (size_t i = 0; i < keying.size(); ++i) {
                    if (restarting && keying[i] > 0.0f && (i == 0 || keying[i - 1] <= 0.0f))
                        start = dsp::TWO_PI * stepCycles * double(samples.size()) / UNIT;
                    const std::complex<float> tone = std::polar(keying[i], float(start + 0.3));
                    samples.push_back(tone + std::complex<float>(noise(generator) * (sigma > 0),
                                                                 noise(generator) * (sigma > 0)));
                }
            }
            cw::CarrierReference carrier(1000.0);
            const cw::CarrierReference::Tone tone =
                carrier.Learn(samples.data(), samples.size(), UNIT, 0.5f);
            if (!restarting) {
                EXPECT_EQ(tone, cw::CarrierReference::Tone::Steady);
                continue;
            }
            EXPECT_EQ(tone, cw::CarrierReference::Tone::Unsteady);
            // Each mark's phase follows from its start: the frame turns against the grid's by
            // the step per element (up to whole cycles per element).
            ASSERT_TRUE(carrier.HasRestartGrid());
            const double cycles = carrier.TurnAgainstGridHz() * UNIT / 1000.0 + stepCycles;
            EXPECT_NEAR(cycles, std::round(cycles), 0.01 + 0.02 * sigma);
        }
    }
}

TEST(CwRestartGrid, PhaseLeftMovingByAnErrorInTheGridsTurnIsFollowedWithoutLag)
{
    // The grid's turn measured a little off: the marks' phase moves steadily (0.3 rad/s, a mark
    // every 150 ms). The prior predicts the next mark's phase and stays sure.
    cw::RestartGridPhase grid;
    grid.Start(0.01, 0);
    const double drift = 0.3 / 1000.0;
    for (qint64 start = 0; start < 30000; start += 150) {
        const double phase = 1.0 + drift * double(start);
        const std::complex<double> rotation = grid.Rotation(start);
        if (start > 15000) {
            const std::complex<double> prior = grid.Prior(rotation);
            EXPECT_NEAR(std::arg(prior * std::polar(1.0, -phase) * rotation), 0.0, 0.1);
            EXPECT_GT(std::abs(prior), 15.0);
        }
        grid.Learn(std::polar(10.0, phase) * std::conj(rotation), start);
    }
}

TEST(CwRestartGrid, IsSureOnlyWhereTheMarksAgreeClosely)
{
    // Marks on the predicted phase make the prior sure; marks scattered half a radian either
    // side leave it unsure. The agreement is the marks' mean cosine about the phase predicted.
    for (double scatter : {0.0, 0.5}) {
        SCOPED_TRACE(scatter);
        cw::RestartGridPhase grid;
        grid.Start(0.01, 0);
        EXPECT_FALSE(grid.IsSure());
        EXPECT_EQ(grid.Agreement(), 0.0);
        for (int i = 0; i < 60; ++i) {
            const qint64 start = 150 * i;
            const double phase = 1.0 + (i % 2 ? scatter : -scatter);
            grid.Learn(std::polar(10.0, phase) * std::conj(grid.Rotation(start)), start);
        }
        EXPECT_EQ(grid.IsSure(), scatter == 0.0);
        EXPECT_NEAR(grid.Agreement(), std::cos(scatter), 0.02);
        grid.Stop();
        EXPECT_FALSE(grid.IsSure());
    }
}

TEST(CwSegmenter, MarksOfARestartingGridAreMeasuredAtThePhaseTheirStartPredicts)
{
    // A tone that starts every element at one phase on its grid. Once the decided marks agree,
    // each mark is also measured at the phase its start predicts: a dot on it at its amplitude,
    // a dot a quarter turn off at nothing, though on its own phase it is as strong. Before the
    // grid is sure there is no such level.
    const double turn = 0.01; // radians per sample
    std::vector<double> runs;
    for (int i = 0; i < 12; ++i)
        runs.insert(runs.end(), {1, -1, 3, -3});
    runs.insert(runs.end(), {1, -3, 1, -7});
    const size_t offGrid = runs.size() - 2;
    std::mt19937 generator(5);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    cw::CwSegmenter segmenter;
    segmenter.Reset(0, 0.04f);
    segmenter.SetRestartGrid(turn);
    qint64 n = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        const double phase = 0.7 - turn * double(n) + (r == offGrid ? dsp::TWO_PI / 4 : 0.0);
        for (int i = 0; i < int(std::lround(std::abs(runs[r]) * UNIT)); ++i, ++n) {
            const std::complex<float> tone =
                runs[r] > 0 ? std::polar(1.0f, float(phase)) : std::complex<float>();
            segmenter.PushOwnPhase(tone + std::complex<float>(noise(generator), noise(generator)),
                                   noise(generator), 1.0f, UNIT);
        }
    }
    std::vector<cw::CwSegmenter::Segment> marks;
    for (const cw::CwSegmenter::Segment& s : finish(segmenter))
        if (s.bOn)
            marks.push_back(s);
    ASSERT_EQ(marks.size(), 26u);
    EXPECT_LT(marks.front().fGridLevel, 0.0f);
    const cw::CwSegmenter::Segment& onGrid = marks[24];
    const cw::CwSegmenter::Segment& offGridDot = marks[25];
    EXPECT_NEAR(onGrid.fGridLevel, 1.0f, 0.1f);
    EXPECT_NEAR(offGridDot.fLevel, 1.0f, 0.1f);
    EXPECT_LT(offGridDot.fGridLevel, 0.15f);
    EXPECT_GE(offGridDot.fGridLevel, 0.0f);
}

TEST(CwMatchedFilter, ChangingTheLengthGivesWhatAFreshFilterGives)
{
    std::mt19937 generator(9);
    std::normal_distribution<float> noise;
    cw::EnvelopeDetector changed(64);
    changed.SetLength(10);
    cw::EnvelopeDetector fresh(64);
    fresh.SetLength(25);
    float last = 0.0f;
    for (int i = 0; i < 500; ++i) {
        const std::complex<float> sample(noise(generator), noise(generator));
        if (i == 300)
            changed.SetLength(25);
        const float a = changed.Push(sample);
        last = fresh.Push(sample);
        if (i >= 300) {
            EXPECT_NEAR(a, last, 1e-4f) << i;
        }
    }
}

TEST(CwCharacterSearch, TheFirstHighestSumIsTheOneAWalkOverTheLengthsFinds)
{
    // Sums from a few levels, so that equals fall inside one block of lengths and in
    // different ones, some no number at all, against a walk that compares one at a time.
    std::mt19937 generator(7);
    std::uniform_int_distribution<int> level(0, 5);
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    for (int trial = 0; trial < 3000; ++trial) {
        const qint64 count = trial % 41;
        std::vector<double> down(size_t(count) + 1);
        std::vector<double> up(size_t(count) + 1);
        for (double& value : down)
            value = level(generator) == 0 ? notANumber : 0.5 * level(generator);
        for (double& value : up)
            value = 0.25 * level(generator);
        const double* pDown = down.data() + count;
        const double start = trial % 3 == 0 ? -1e300 : 2.0;
        double walked = start;
        qint64 walkedAt = -1;
        for (qint64 k = 0; k < count; ++k) {
            if (pDown[-k] + up[size_t(k)] > walked) {
                walked = pDown[-k] + up[size_t(k)];
                walkedAt = k;
            }
        }
        double best = start;
        qint64 at = -1;
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        EXPECT_EQ(cw::firstAbove(pDown, up.data(), count, best, at), walkedAt >= 0);
        EXPECT_EQ(best, walked);
        EXPECT_EQ(at, walkedAt);
    }
}

TEST(CwCharacterSearch, ANodesRingHoldsItsScoresOrUnsetUpToItsLastBoundarySet)
{
    // Three nodes set at boundaries with gaps of every size, wrapping the ring and leaving it
    // for longer than it holds: up to LastSet() each node reads its own scores where they were
    // set and UNSET elsewhere, whatever its neighbours do.
    using Table = cw::NodeScoreTable<16, 8>;
    Table table(4);
    std::mt19937 generator(11);
    std::uniform_int_distribution<int> gap(1, 12);
    std::uniform_int_distribution<int> pick(1, 3);
    std::map<qint64, double> set[4];
    qint64 boundary = 100;
    for (int step = 0; step < 2000; ++step) {
        boundary += gap(generator) <= 9 ? 1 : gap(generator);
        const int node = pick(generator);
        const double score = double(step) - 0.5;
        const qint64 last = set[node].empty() ? Table::NEVER : set[node].rbegin()->first;
        table.Set(node, boundary, score, step % 200);
        set[node][boundary] = score;
        SCOPED_TRACE(testing::Message() << "step " << step);
        EXPECT_EQ(table.LastSet(node), boundary);
        if (boundary - last >= 8) {
            EXPECT_EQ(table.FirstSet(node), boundary);
        }
        for (int n = 1; n <= 3; ++n) {
            if (set[n].empty())
                continue;
            const double* scores = table.Scores(n);
            const qint64 first = std::max(table.FirstSet(n), table.LastSet(n) - 7);
            for (qint64 b = first; b <= table.LastSet(n); ++b) {
                const auto found = set[n].find(b);
                EXPECT_EQ(scores[Table::ScoreSlot(b)],
                          found != set[n].end() ? found->second : Table::UNSET)
                    << "node " << n << " boundary " << b;
            }
            EXPECT_EQ(table.Score(n, table.LastSet(n)), set[n].rbegin()->second);
        }
    }
}

TEST(CwMatchedFilter, AStretchAveragedAtOnceIsWhatAFreshFilterGivesToTheBit)
{
    // Long enough for the running sum to be rebuilt twice; bursts a trillion times the level,
    // some inside the average as it is rebuilt, would show any other order of additions.
    std::mt19937 generator(4);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<std::complex<float>> samples(140000);
    for (size_t i = 0; i < samples.size(); ++i) {
        const bool burst = i % 4099 == 0 || i == 65530 || i == 131060;
        samples[i] = {(burst ? 1e12f : 1.0f) + noise(generator), noise(generator)};
    }
    for (int length : {1, 37, 300}) {
        for (bool inPhase : {false, true}) {
            SCOPED_TRACE(testing::Message() << length << (inPhase ? " in phase" : ""));
            std::vector<float> atOnce(samples.size());
            cw::EnvelopeDetector::AverageOf(samples.data(), samples.size(), length, inPhase,
                                            atOnce.data());
            cw::EnvelopeDetector fresh(length);
            fresh.SetLength(length);
            for (size_t i = 0; i < samples.size(); ++i) {
                const float pushed =
                    inPhase ? fresh.PushAverage(samples[i]).real() : fresh.Push(samples[i]);
                ASSERT_EQ(atOnce[i], pushed) << i;
            }
        }
    }
}

TEST(CwMatchedFilter, FollowsAUnitOnlyWhenItMovedBeyondTheTolerance)
{
    cw::EnvelopeDetector detector(128);
    detector.FollowUnit(40.0, 0.12);
    EXPECT_EQ(detector.Length(), cw::EnvelopeDetector::LengthFor(40.0));
    detector.FollowUnit(43.0, 0.12); // 37 against 34: within the tolerance
    EXPECT_EQ(detector.Length(), cw::EnvelopeDetector::LengthFor(40.0));
    detector.FollowUnit(46.0, 0.12);
    EXPECT_EQ(detector.Length(), cw::EnvelopeDetector::LengthFor(46.0));
    // Set elsewhere, the length is judged afresh against the same unit.
    detector.SetLength(10);
    detector.FollowUnit(46.0, 0.12);
    EXPECT_EQ(detector.Length(), cw::EnvelopeDetector::LengthFor(46.0));
}

TEST(CwBaseband, ToneBecomesASteadyPhasorAndDcIsRemovedWhateverTheBlockSize)
{
    const double rate = 8000.0;
    cw::BasebandConverter converter(rate, 600.0);
    EXPECT_EQ(converter.Decimation(), 8);
    std::vector<float> input(16000);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = float(0.5 + 0.2 * std::cos(dsp::TWO_PI * 600.0 * double(i) / rate));
    std::vector<std::complex<float>> output;
    converter.Process(input.data(), input.size(), output);
    ASSERT_EQ(output.size(), input.size() / 8);
    // After the DC remover settles: amplitude 0.1 (half the real tone), constant phase.
    for (size_t i = 1000; i < output.size(); i += 97) {
        EXPECT_NEAR(std::abs(output[i]), 0.1f, 0.003f) << i;
        EXPECT_NEAR(std::arg(output[i] / output[1000]), 0.0f, 0.02f) << i;
    }
    // Blocks that grow from a few samples to more than a CHUNK, interleaved with a second
    // converter of the same thread on other audio: the same output again.
    cw::BasebandConverter growing(rate, 600.0);
    cw::BasebandConverter other(rate, 900.0);
    const std::vector<float> noise(16000, -0.25f);
    std::vector<std::complex<float>> grown;
    std::vector<std::complex<float>> elsewhere;
    size_t at = 0;
    for (size_t block : {3u, 250u, 5000u, 1u, 9000u, 17u}) {
        growing.Process(input.data() + at, std::min(block, input.size() - at), grown);
        other.Process(noise.data() + at, std::min(block, noise.size() - at), elsewhere);
        at += block;
    }
    growing.Process(input.data() + at, input.size() - at, grown);
    EXPECT_EQ(grown, output);
    // Tuned to 0 Hz, the output is what the DC remover leaves of a constant: nothing, once
    // it settled (a tenth of a second), however the blocks fall.
    cw::BasebandConverter atZero(rate, 0.0);
    const std::vector<float> constant(4003, 0.5f);
    std::vector<std::complex<float>> left;
    for (size_t i = 0; i < constant.size(); i += 61)
        atZero.Process(constant.data() + i, std::min<size_t>(61, constant.size() - i), left);
    for (size_t i = 200; i < left.size(); ++i)
        ASSERT_LT(std::abs(left[i]), 0.5f * std::pow(1.0f - 0.002f, 8.0f * float(i - 50)));
}

TEST(CwFir, StreamedOutputIsTheWindowsConvolutionForAnyLengthAndLongAfterTheStart)
{
    // Lengths around the vector width, and runs far past the window's buffer: Next(), and Push()
    // then Output(), taking turns from the first sample on, give to the bit what Apply() gives
    // over the window ending there, zeros before the first sample (Apply() itself is checked
    // against the convolution below).
    std::mt19937 generator(5);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (size_t length : firLengths()) {
        std::vector<float> taps(length);
        for (float& tap : taps)
            tap = uniform(generator);
        cw::RealTapFilter filter(taps);
        ASSERT_EQ(filter.Length(), length);
        ASSERT_EQ(filter.Output(), std::complex<float>());
        std::vector<std::complex<float>> input(length - 1 + 3000);
        for (size_t n = length - 1; n < input.size(); ++n) {
            input[n] = {uniform(generator), n % 3 == 0 ? 0.0f : 2.0f * uniform(generator)};
            std::complex<float> got;
            if ((n + 1) % 2 == 0) {
                filter.Next(input[n], &got);
            } else {
                filter.Push(input[n]);
                got = filter.Output();
            }
            ASSERT_EQ(got, filter.Apply(input.data() + (n + 1 - length))) << length << " at " << n;
        }
    }
}

TEST(CwFir, EachOutputIsRoundedInOneFixedOrderOfSums)
{
    // Decodes are compared to the bit from build to build, so every output comes from the same
    // sums in the same order: sixteen partial sums over whole blocks of eight samples, the four
    // lanes summed pairwise, their real and imaginary halves, then the remaining samples.
    std::mt19937 generator(11);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (size_t length : firLengths()) {
        std::vector<float> taps(length);
        for (float& tap : taps)
            tap = uniform(generator);
        const cw::RealTapFilter filter(taps);
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<std::complex<float>> input(length);
            for (std::complex<float>& sample : input)
                sample = {uniform(generator) * 1e3f, trial % 4 == 0 ? 0.0f : uniform(generator)};
            std::vector<float> h(2 * length);
            std::vector<float> x(2 * length);
            for (size_t i = 0; i < length; ++i) {
                h[2 * i] = h[2 * i + 1] = taps[length - 1 - i];
                x[2 * i] = input[i].real();
                x[2 * i + 1] = input[i].imag();
            }
            const size_t whole = x.size() - x.size() % 16;
            float sums[16] = {};
            for (size_t k = 0; k < whole; k += 16)
                for (size_t j = 0; j < 16; ++j)
                    sums[j] += h[k + j] * x[k + j];
            float lanes[4];
            for (size_t j = 0; j < 4; ++j)
                lanes[j] = (sums[j] + sums[4 + j]) + (sums[8 + j] + sums[12 + j]);
            float re = lanes[0] + lanes[2];
            float im = lanes[1] + lanes[3];
            for (size_t k = whole; k < x.size(); k += 2) {
                re += h[k] * x[k];
                im += h[k + 1] * x[k + 1];
            }
            const std::complex<float> got = filter.Apply(input.data());
            ASSERT_EQ(bitsOf(got.real()), bitsOf(re)) << length << " trial " << trial;
            ASSERT_EQ(bitsOf(got.imag()), bitsOf(im)) << length << " trial " << trial;
        }
    }
}

TEST(CwSpeed, LevelsSortAsAPlainSortDoesToTheBit)
{
    // Both signs, zeros of both signs, repeats, tiny and huge magnitudes, and runs whose
    // lower digits are all the same (a pass skipped), at lengths around the counts' blocks.
    std::mt19937 generator(17);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-40, 40);
    auto before = [](float a, float b) {
        return a < b || (a == b && std::signbit(a) && !std::signbit(b));
    };
    std::vector<std::uint32_t> keys;
    std::vector<std::uint32_t> scratch;
    for (size_t length : {0u, 1u, 2u, 3u, 5u, 17u, 1467u, 5000u}) {
        for (int kind = 0; kind < 4; ++kind) {
            std::vector<float> values(length);
            for (size_t i = 0; i < length; ++i) {
                const float value = std::ldexp(uniform(generator), exponent(generator));
                values[i] = kind == 0   ? value
                            : kind == 1 ? std::abs(value)
                            : kind == 2 ? float(int(8.0f * uniform(generator))) * 0.5f
                                        : (i % 3 == 0   ? -0.0f
                                           : i % 3 == 1 ? 0.0f
                                                        : value);
            }
            std::vector<float> expected = values;
            std::sort(expected.begin(), expected.end(), before);
            cw::sortLevels(values, keys, scratch);
            ASSERT_EQ(values.size(), expected.size());
            for (size_t i = 0; i < length; ++i)
                ASSERT_EQ(bitsOf(values[i]), bitsOf(expected[i])) << length << " kind " << kind;
        }
    }
}

TEST(CwChannel, TonePassesAtUnitGainAndANeighbourAHundredHertzAwayIsStopped)
{
    const double rate = 1000.0;
    // Steady-state output amplitude of a baseband tone at each offset.
    auto gain = [rate](double passHz, double offsetHz) {
        cw::ChannelFilter filter(rate, passHz);
        float amplitude = 0.0f;
        for (int i = 0; i < 1000; ++i) {
            const std::complex<float> out =
                filter.Push(std::polar(1.0f, float(dsp::TWO_PI * offsetHz * i / rate)));
            if (i > 2 * filter.Delay())
                amplitude = std::max(amplitude, std::abs(out));
        }
        return amplitude;
    };
    for (double pass : {cw::ChannelFilter::PassFor(0.08), cw::ChannelFilter::MAX_PASS_HZ}) {
        EXPECT_NEAR(gain(pass, 0.0), 1.0f, 0.01f) << pass;
        EXPECT_NEAR(gain(pass, 0.5 * pass), 1.0f, 0.02f) << pass;
        EXPECT_LT(gain(pass, 100.0), 0.003f) << pass; // 50 dB down
    }
    // Slower speeds keep a narrower band, within the limits.
    EXPECT_LT(cw::ChannelFilter::PassFor(0.1), cw::ChannelFilter::PassFor(0.05));
    EXPECT_EQ(cw::ChannelFilter::PassFor(0.001), cw::ChannelFilter::MAX_PASS_HZ);
}

TEST(CwChannel, HeldSamplesFilteredAgainAfterGainsAndDropsMatchAFreshRunToTheBit)
{
    // The held samples gain newer ones and lose the oldest between attempts: what is kept from
    // the last filtering must be what a fresh run gives, near both ends too, down to the sign
    // of zero. Once forgotten, other samples at the same indices are filtered anew.
    const double rate = 1000.0;
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    auto fresh = [rate](const std::vector<std::complex<float>>& held) {
        cw::ChannelFilter filter(rate);
        const size_t delay = size_t(filter.Delay());
        std::vector<std::complex<float>> out;
        for (size_t i = 0; i < held.size() + delay; ++i) {
            const std::complex<float> y =
                filter.Push(i < held.size() ? held[i] : std::complex<float>());
            if (i >= delay)
                out.push_back(y);
        }
        return out;
    };
    auto sameBits = [](const std::vector<std::complex<float>>& a,
                       const std::vector<std::complex<float>>& b) {
        return a.size() == b.size() &&
               std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
    };
    cw::HeldFilter held(rate);
    std::vector<std::complex<float>> samples;
    std::int64_t start = 0;
    // Appended, dropped (a second, or fewer samples than the filter reaches), both at once,
    // nothing changed, down to fewer samples than the filter is long, and emptied.
    const std::pair<size_t, size_t> steps[] = {{3000, 0}, {1000, 0}, {0, 1000}, {1000, 1000},
                                               {0, 0},    {7, 30},   {0, 2950}, {40, 10},
                                               {500, 0},  {0, 520}};
    for (const auto& [added, dropped] : steps) {
        ASSERT_LE(dropped, samples.size());
        samples.erase(samples.begin(), samples.begin() + std::ptrdiff_t(dropped));
        start += std::int64_t(dropped);
        for (size_t i = 0; i < added; ++i)
            samples.emplace_back(uniform(generator), i % 50 < 20 ? -0.0f : uniform(generator));
        held.Filter(samples.data(), samples.size(), start);
        ASSERT_TRUE(sameBits(held.Filtered(), fresh(samples)))
            << "+" << added << " -" << dropped << " of " << samples.size();
    }
    for (std::complex<float>& sample : samples)
        sample = -sample;
    held.Forget();
    held.Filter(samples.data(), samples.size(), start);
    EXPECT_TRUE(sameBits(held.Filtered(), fresh(samples)));
}

namespace {

/// A coherence watch started on a steady tone, against a reference at phase zero and a tracked
/// mark level of 1.
struct Watched
{
    explicit Watched(float fNoiseVariance)
    {
        levels.fMark = 1.0f;
        levels.fNoiseVariance = fNoiseVariance;
        watch.Start(true);
    }
    /// Pushes the key-down average @p average @p nTimes; whether the phase is decided on then.
    bool Push(int nTimes, std::complex<float> average)
    {
        for (int i = 0; i < nTimes; ++i)
            watch.Push(average, levels, carrier);
        return watch.IsCoherent();
    }
    const cw::CarrierReference carrier{500.0};
    cw::CoherenceWatch::Levels levels;
    cw::CoherenceWatch watch;
};

} // namespace

TEST(CwCoherence, APhaseThatWandersOffIsLetGoButNotABriefSlipOrTheGaps)
{
    // Key-down averages at 90 degrees agree with the reference not at all; the noise's
    // deviation in an average is 0.1.
    const std::complex<float> inPhase(1.0f, 0.0f);
    const std::complex<float> across(0.0f, 1.0f);
    Watched w(0.01f);
    EXPECT_TRUE(w.Push(2000, inPhase));
    // A slip of a tenth of a second, and gaps whose noise points anywhere, count for little.
    w.Push(50, across);
    EXPECT_TRUE(w.Push(2000, 0.5f * across));
    // A phase that stays off for a second is let go, and marks agreeing again do not bring it
    // back within the transmission.
    EXPECT_FALSE(w.Push(500, across));
    EXPECT_FALSE(w.Push(2000, inPhase));
    // The next transmission starts afresh; an unsteady tone's never becomes coherent.
    w.Push(500, across);
    w.watch.Start(true);
    EXPECT_TRUE(w.Push(50, across));
    w.watch.Start(false);
    EXPECT_FALSE(w.Push(2000, inPhase));
}

TEST(CwCoherence, DimMarksClearOfTheNoiseCountButNotNearACrash)
{
    // A fade holds the marks at a fifth of the level learned at its tops, 20 times over the
    // noise, on another phase: near a crash they do not count (its ringing is no tone's).
    Watched w(1e-4f);
    w.levels.bCrashNear = true;
    EXPECT_TRUE(w.Push(2000, {0.0f, 0.2f}));
    w.levels.bCrashNear = false;
    EXPECT_FALSE(w.Push(500, {0.0f, 0.2f}));
}

TEST(CwLocalPhase, MarksProjectToTheirAmplitudeWhateverTheirPhaseAndGapsToLittle)
{
    cw::LocalPhaseProjector projector(UNIT / 2);
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> angle(0.0f, float(dsp::TWO_PI));
    std::vector<float> inPhase;
    // Marks of 3 units, each at its own phase, with 3-unit gaps.
    for (int element = 0; element < 20; ++element) {
        const float phase = angle(generator);
        for (int i = 0; i < 3 * UNIT; ++i) {
            projector.Push(element % 2 == 0 ? std::polar(0.5f, phase) : 0.0f);
            inPhase.push_back(projector.Projected().real());
            EXPECT_NEAR(projector.Projected().imag(), 0.0f, 1e-4f);
            ASSERT_EQ(projector.ProjectedQuadrature(), projector.Projected().imag());
        }
    }
    const size_t delay = size_t(projector.Delay());
    for (int element = 2; element < 18; ++element) {
        const size_t middle = size_t(element * 3 * UNIT + 3 * UNIT / 2) + delay;
        EXPECT_NEAR(inPhase[middle], element % 2 == 0 ? 0.5f : 0.0f, 1e-4f) << element;
    }
}

TEST(CwBlanker, CrashesAreSilencedAndKeyedTonesOnOrOffThePitchPass)
{
    const double rate = 8000.0;
    struct Case
    {
        const char* name;
        double toneHz;
        double crashPeak; ///< 0: none
    };
    for (const Case& c : {Case{"crash on a tone", 700.0, 50.0}, Case{"hard-keyed tone", 700.0, 0.0},
                          Case{"hard-keyed tone 150 Hz off", 850.0, 0.0}}) {
        std::mt19937 generator(5);
        std::normal_distribution<float> noise(0.0f, 0.01f);
        cw::ImpulseBlanker blanker(rate, 700.0);
        // Half a second of noise, then marks of 0.1 s every 0.3 s, a hundred times over it.
        std::vector<float> samples(24000);
        double toneEnergy = 0.0;
        for (size_t i = 0; i < samples.size(); ++i) {
            const bool on = i >= 4000 && (i - 4000) % 2400 < 800;
            const float tone = on ? float(std::sin(dsp::TWO_PI * c.toneHz * i / rate)) : 0.0f;
            samples[i] = noise(generator) + tone;
            toneEnergy += double(tone * tone);
        }
        // A decaying 5 ms crash inside a mark.
        const size_t crash = 4000 + 2400 * 3 + 300;
        for (size_t i = 0; c.crashPeak > 0.0 && i < 40; ++i)
            samples[crash + i] += float(c.crashPeak * std::pow(0.1, i / 40.0) * (i % 2 ? 1 : -1));
        const float* out = blanker.Push(samples.data(), samples.size());
        double passed = 0.0;
        for (size_t i = 0; i < samples.size(); ++i)
            passed += (i < crash || i >= crash + 40) ? double(out[i] * out[i]) : 0.0;
        EXPECT_GT(passed, 0.95 * toneEnergy) << c.name;
        for (size_t i = crash; c.crashPeak > 0.0 && i < crash + 40; ++i)
            EXPECT_EQ(out[i], 0.0f) << c.name << " at " << i;
    }
}

TEST(CwBlanker, OutputDoesNotDependOnHowTheInputIsCutIntoBlocks)
{
    // Noise with crashes that straddle block edges, and zeros among them: what a block carries
    // over (the last samples, the level, a crash still held) must not be lost between blocks.
    const double rate = 8000.0;
    std::mt19937 generator(9);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    std::vector<float> samples(20000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = i % 997 == 0 ? 0.0f : noise(generator);
    for (size_t crash : {1500u, 4093u, 8190u, 12000u})
        for (size_t i = 0; i < 30; ++i)
            samples[crash + i] += (i % 2 ? 1.0f : -1.0f) * float(0.5 / (1.0 + i));
    cw::ImpulseBlanker whole(rate, 700.0);
    const float* expected = whole.Push(samples.data(), samples.size());
    const std::vector<float> reference(expected, expected + samples.size());
    ASSERT_GT(whole.Blanked(), 0);
    for (size_t block : {size_t(1), size_t(7), size_t(400), size_t(4096)}) {
        cw::ImpulseBlanker blanker(rate, 700.0);
        std::vector<float> out;
        for (size_t i = 0; i < samples.size(); i += block) {
            const size_t count = std::min(block, samples.size() - i);
            const float* blanked = blanker.Push(samples.data() + i, count);
            out.insert(out.end(), blanked, blanked + count);
        }
        EXPECT_EQ(out, reference) << "blocks of " << block;
        EXPECT_EQ(blanker.Blanked(), whole.Blanked()) << "blocks of " << block;
    }
}

TEST(CwAgcRecovery, AGainCutForSecondsByCrashAfterCrashIsRaisedToItsEnd)
{
    // Noise alone for 1.5 s, then an AGC that a crash every half second cuts by 34 dB, the gain
    // creeping back with 0.3 s, for good after 3.5 s: what comes out stays near the noise.
    const double rate = 8000.0;
    std::mt19937 generator(4);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<float> samples(48000);
    const double release = std::exp(-1.0 / (0.3 * rate));
    double cut = 1.0; ///< the gain's shortfall, 1 when it is whole
    for (size_t i = 0; i < samples.size(); ++i) {
        const bool crash = i >= 12000 && i <= 28000 && i % 4000 < 16;
        if (crash)
            cut = 50.0;
        samples[i] = crash ? 0.0f : float(noise(generator) / cut);
        cut = std::max(1.0, cut * release);
    }
    cw::AgcRecovery recovery(rate, 700.0);
    const float* out = recovery.Push(samples.data(), samples.size());
    const auto meanMagnitude = [&](size_t from, size_t count) {
        double sum = 0.0;
        for (size_t i = from; i < from + count; ++i)
            sum += std::abs(double(out[i]));
        return sum / double(count);
    };
    const double before = meanMagnitude(2000, 10000);
    for (size_t from = 12000; from < samples.size(); from += 400)
        EXPECT_GT(meanMagnitude(from, 400), 0.3 * before) << "at " << from / rate << " s";
}

namespace {

/// Envelope samples of @p units keyed at @p tone(i), the gaps holding the magnitude of noise
/// of 0.01 (a matched filter's envelope).
template <class Tone> std::vector<float> keyedEnvelope(const std::vector<bool>& units, Tone tone)
{
    std::mt19937 generator(5);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    std::vector<float> samples(units.size() * UNIT);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = units[i / UNIT] ? tone(i) : std::abs(noise(generator));
    return samples;
}

/// The level at sample (or time) n of a fade of 20 dB every @p dPeriod.
auto fadeEvery(double dPeriod)
{
    return [dPeriod](auto n) { return fading(double(n), dPeriod); };
}

/// Dots, a dash and gaps, ten elements sent @p nRepeats times.
std::vector<bool> dotsAndADash(int nRepeats)
{
    return keyedUnits({1, -1, 1, -1, 3, -3}, nRepeats);
}

/// Fast fades up to 20 elements; fits from 3 to 80 elements over @p nMemory.
cw::LocalMarkLevel::Reaches fittedReaches(int nMemory = 100 * UNIT)
{
    cw::LocalMarkLevel::Reaches reaches{2 * UNIT, UNIT, 20 * UNIT};
    reaches.nFitShortest = 3 * UNIT;
    reaches.nFitLongest = 80 * UNIT;
    reaches.nFitMemory = nMemory;
    return reaches;
}

} // namespace

TEST(CwMarkLevel, FollowsAFadeThroughMarksAndGaps)
{
    // A fade to a tenth under steady noise (well under the faded marks): the level follows
    // the marks down, whatever the sample is (mark, edge, gap or word gap).
    const std::vector<bool> units = keyedUnits(8);
    const size_t total = units.size() * UNIT;
    auto tone = [&](size_t i) { return 1.0f - 0.9f * float(i) / float(total); };
    const std::vector<float> envelope = keyedEnvelope(units, tone);
    cw::LocalMarkLevel level({2 * UNIT}, 1.0f);
    for (size_t i = 0; i < total; ++i) {
        level.Push(envelope[i]);
        if (i < size_t(level.Delay()) + 4 * UNIT)
            continue;
        const float expected = tone(i - size_t(level.Delay()));
        EXPECT_GT(level.Level(), 0.4f * expected) << i;
        EXPECT_LT(level.Level(), 1.1f * expected) << i;
    }
}

TEST(CwMarkLevel, ComesDownToTheBottomsOfAFastFadeOnly)
{
    // A fade of 20 dB whose period is eight elements, known to move: once its period is
    // measured and fitted, the marks are judged from one element on each side, and the level
    // comes near their own at the bottoms too. A fade slower than the fast period keeps the
    // usual reach.
    const std::vector<bool> units = dotsAndADash(20);
    const auto tone = fadeEvery(8.0 * UNIT);
    const std::vector<float> envelope = keyedEnvelope(units, tone);
    // The worst overstatement of a mark's own level over the last half.
    auto worst = [&](long long nFastPeriod) {
        cw::LocalMarkLevel::Reaches reaches = fittedReaches();
        reaches.nFastPeriod = nFastPeriod;
        cw::LocalMarkLevel level(reaches, 1.0f, true);
        float ratio = 0.0f;
        for (size_t i = 0; i < envelope.size(); ++i) {
            level.Push(envelope[i]);
            const size_t judged = i - size_t(level.Delay());
            if (i < size_t(level.Delay()) || judged < envelope.size() / 2 || !units[judged / UNIT])
                continue;
            EXPECT_GT(level.Level(), 0.3f * tone(judged)) << i;
            ratio = std::max(ratio, level.Level() / tone(judged));
        }
        return ratio;
    };
    EXPECT_LT(worst(20 * UNIT), 3.0f);
    EXPECT_GT(worst(4 * UNIT), 4.0f);
}

TEST(CwMarkLevel, TakesNoFastFadeFromPeaksThatTurnAtRandom)
{
    // Known to move: over a slow fade, marks whose levels jump at random by up to a factor of
    // three, as the noise makes weak marks at its bottom do, turn often enough for a fast
    // period, but no sinusoid fits them; a fast fade of the same marks is found.
    const std::vector<bool> units = dotsAndADash(40);
    // Whether a period was found anywhere in the second half, the fit's memory full.
    auto periodFound = [&](auto tone) {
        cw::LocalMarkLevel level(fittedReaches(), 1.0f, true);
        const std::vector<float> envelope = keyedEnvelope(units, tone);
        bool found = false;
        for (size_t i = 0; i < envelope.size(); ++i) {
            level.Push(envelope[i]);
            found = found || (i >= envelope.size() / 2 && level.FadePeriodFound());
        }
        return found;
    };
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> share(0.3f, 1.0f);
    std::vector<float> markLevels(units.size());
    for (size_t u = 0; u < units.size(); ++u)
        markLevels[u] = u > 0 && units[u - 1] ? markLevels[u - 1] : share(generator);
    const auto slowFade = fadeEvery(4000.0 * UNIT);
    EXPECT_FALSE(periodFound([&](size_t i) { return markLevels[i / UNIT] * slowFade(i); }));
    EXPECT_TRUE(periodFound(fadeEvery(8.0 * UNIT)));
}

TEST(CwMarkLevel, TakesAFastFadeItsFitFindsForALevelThatMoves)
{
    // Not known to move: a fade of 20 dB every eight elements shows the level moving once the
    // peaks' fit finds it; steady keying does not, nor a fade slower than the fast period.
    const std::vector<bool> units = dotsAndADash(40);
    auto knownToMove = [&](double dPeriod, long long nFitFastPeriod = 0) {
        cw::LocalMarkLevel::Reaches reaches = fittedReaches();
        reaches.nFitFastPeriod = nFitFastPeriod;
        cw::LocalMarkLevel level(reaches, 1.0f);
        auto tone = [&](size_t i) { return dPeriod > 0.0 ? fading(double(i), dPeriod) : 1.0f; };
        for (float sample : keyedEnvelope(units, tone))
            level.Push(sample);
        return level.KnownToMove();
    };
    EXPECT_TRUE(knownToMove(8.0 * UNIT));
    EXPECT_FALSE(knownToMove(0.0));
    EXPECT_FALSE(knownToMove(40.0 * UNIT));
    // Past the fast period, a fade the fit explains well counts up to the fitted limit.
    EXPECT_FALSE(knownToMove(28.0 * UNIT));
    EXPECT_TRUE(knownToMove(28.0 * UNIT, 32 * UNIT));
    EXPECT_FALSE(knownToMove(40.0 * UNIT, 32 * UNIT));
    EXPECT_FALSE(knownToMove(0.0, 32 * UNIT));
}

TEST(CwMarkLevel, GivesAFadesFittedAmplitudeOnlyOnceItsPeaksSpanEnoughOfItsPeriods)
{
    // Known to move: a fast fade's fitted amplitude follows the tone, bottoms included, once the
    // peaks span two of its periods. A fade of 40 elements, whose two periods the fit's memory
    // cannot hold, is given one within its periods from one period's peaks, if more coarsely.
    // Before, and for a fade slower than those periods, none is given.
    struct Case
    {
        const char* name;
        cw::LocalMarkLevel::Reaches reaches;
        double dPeriod;
        double dNoneUntil;    ///< periods without a fitted amplitude
        double dFollowedFrom; ///< periods
        float fLeast;         ///< of the fitted amplitude over the tone, when followed
        double dSlowerPeriod; ///< a fade given none
    };
    cw::LocalMarkLevel::Reaches slower = fittedReaches(70 * UNIT);
    slower.nFitAmplitudeShortest = 30 * UNIT;
    slower.nFitAmplitudeLongest = 50 * UNIT;
    const Case cases[] = {{"fast", fittedReaches(), 8.0 * UNIT, 1.5, 10.0, 0.7f, 40.0 * UNIT},
                          {"slower", slower, 40.0 * UNIT, 0.8, 3.0, 0.6f, 64.0 * UNIT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto followedUntil = size_t((c.dFollowedFrom + 2.0) * c.dPeriod);
        // The fitted amplitude over the tone for the samples judged from @p nFrom on.
        auto overTone = [&](double dPeriod, size_t nFrom, size_t nUntil) {
            const auto tone = fadeEvery(dPeriod);
            const std::vector<float> envelope = keyedEnvelope(dotsAndADash(40), tone);
            cw::LocalMarkLevel level(c.reaches, 1.0f, true);
            std::vector<float> ratios;
            for (size_t i = 0; i < nUntil; ++i) {
                level.Push(envelope[i]);
                if (i >= nFrom + size_t(level.Delay()))
                    ratios.push_back(level.FittedAmplitude() / tone(i - size_t(level.Delay())));
            }
            return ratios;
        };
        for (float ratio : overTone(c.dPeriod, 0, size_t(c.dNoneUntil * c.dPeriod)))
            EXPECT_EQ(ratio, 0.0f);
        for (float ratio :
             overTone(c.dPeriod, size_t(c.dFollowedFrom * c.dPeriod), followedUntil)) {
            EXPECT_GT(ratio, c.fLeast);
            EXPECT_LT(ratio, 1.5f);
        }
        for (float ratio : overTone(c.dSlowerPeriod, 0, followedUntil))
            EXPECT_EQ(ratio, 0.0f);
    }
}

TEST(CwMarkLevel, StartsFromTheHeldSecondsFadeAtTheFirstBottoms)
{
    // Started from the held seconds' peaks of the same marks, the fit gives the first bottoms'
    // gaps their low level at once; without them the flanks' level is kept there.
    const std::vector<bool> units = dotsAndADash(40);
    const double period = 8.0 * UNIT;
    const auto tone = fadeEvery(period);
    const std::vector<float> envelope = keyedEnvelope(units, tone);
    std::vector<cw::FadeFit::MarkPeak> held;
    for (size_t i = UNIT / 2; i < envelope.size(); i += UNIT)
        if (units[i / UNIT])
            held.push_back({std::int64_t(i), tone(i)});
    auto worstAtFirstBottoms = [&](const std::vector<cw::FadeFit::MarkPeak>& peaks) {
        cw::LocalMarkLevel level(fittedReaches(), 1.0f, true);
        level.StartFitFrom(peaks, 0);
        float worst = 0.0f;
        for (size_t i = 0; i < envelope.size(); ++i) {
            level.Push(envelope[i]);
            const long long judged = (long long)i - level.Delay();
            if (judged >= 0 && judged < 3 * period && !units[size_t(judged) / UNIT] &&
                tone(size_t(judged)) < 0.3f)
                worst = std::max(worst, level.Level());
        }
        return worst;
    };
    EXPECT_LT(worstAtFirstBottoms(held), 0.3f);
    EXPECT_GT(worstAtFirstBottoms({}), 0.5f);
}

namespace {

/// The mark level each mark was weighed against, over the tone's level at its middle, for the
/// marks judged from @p nFrom on: @p tone(i) is the level at sample i, keyed by "TEST"s; the
/// envelope tracker's level is @p tracked(i), the classifier's @p classified(i). The follower
/// starts at once (the held seconds saw the level move) or on the tracker's swing.
template <class Tone, class Tracked, class Classified>
std::vector<float> weighedOverTone(Tone tone, Tracked tracked, Classified classified,
                                   bool bFollowFromStart, size_t nFrom)
{
    const std::vector<bool> units = keyedUnits(8);
    cw::CwSegmenter segmenter;
    const float sigma = 0.01f;
    segmenter.Reset(0, sigma * sigma);
    cw::LevelFollower follower(segmenter, 1000.0, UNIT / 2);
    std::mt19937 generator(5);
    std::normal_distribution<float> noise(0.0f, sigma);
    cw::LevelFollower::Moment now;
    now.dUnit = UNIT;
    now.nEnvelopeLength = UNIT / 2;
    for (size_t i = 0; i < units.size() * UNIT; ++i) {
        now.fTrackedLevel = tracked(i);
        if (bFollowFromStart && i == 0)
            follower.FollowFromStart(now);
        follower.Watch(now);
        cw::LevelFollower::Input input;
        input.value = {(units[i / UNIT] ? tone(i) : 0.0f) + noise(generator), noise(generator)};
        input.fQuadrature = input.value.imag();
        input.fTrackedLevel = tracked(i);
        input.fClassifiedLevel = classified(i);
        input.dUnit = UNIT;
        follower.Push(input, std::abs(input.value), now);
    }
    follower.Finish(now);
    std::vector<float> ratios;
    for (const cw::CwSegmenter::Segment& s : finish(segmenter))
        if (s.bOn && size_t(s.nStart) >= nFrom)
            ratios.push_back(s.fAmplitude / tone(size_t(s.nStart + s.nLength / 2)));
    return ratios;
}

} // namespace

TEST(CwLevelFollower, WeighsALevelKnownToMoveAtTheLevelFollowedNotTheLaggingOnes)
{
    // A fade from 1 to a half, the tracker's level staying at the top and the classifier's at
    // the bottom, as both lag a fade: once the level is known to move, the marks are weighed
    // against the level followed around them, near their own, throughout.
    const size_t total = keyedUnits(8).size() * UNIT;
    const std::vector<float> ratios =
        weighedOverTone([&](size_t i) { return 1.0f - 0.5f * float(i) / float(total); },
                        [](size_t) { return 1.0f; }, [](size_t) { return 0.5f; }, true, 0);
    ASSERT_GT(ratios.size(), 30u);
    for (float ratio : ratios) {
        EXPECT_GT(ratio, 0.7f);
        EXPECT_LT(ratio, 1.2f);
    }
}

TEST(CwLevelFollower, WeighsTheMarksOfASlowFadeTheTrackersSwingFoundNearTheirOwnLevel)
{
    // Steady for 2 s, then down to the floor by 5 s, tracker and classifier with it: the swing
    // starts the follower, too slow for the fit's periods. The lower side's strongest envelope
    // (under the marks' own) is lifted over it; at 0.04, four times the noise, it is often
    // noise riding on a mark, and smoothed. The median of the marks from 5.5 s on:
    struct Case
    {
        double dFloor;
        float fLeast;
    };
    for (const Case& c : {Case{0.3, 1.0f}, Case{0.04, 0.95f}}) {
        SCOPED_TRACE(c.dFloor);
        auto level = [&c](size_t i) {
            const double t = double(i) / 1000.0;
            return float(t < 2.0   ? 1.0
                         : t < 5.0 ? 1.0 - (1.0 - c.dFloor) * (t - 2.0) / 3.0
                                   : c.dFloor);
        };
        std::vector<float> ratios = weighedOverTone(level, level, level, false, 5500);
        ASSERT_GT(ratios.size(), 10u);
        std::nth_element(ratios.begin(), ratios.begin() + long(ratios.size() / 2), ratios.end());
        EXPECT_GT(ratios[ratios.size() / 2], c.fLeast);
        EXPECT_LT(ratios[ratios.size() / 2], 1.2f);
    }
}

TEST(CwLevelFollower, WeighsTheMarksOfAFastFadeNearTheirOwnLevelThoughTheirEdgesAreSoft)
{
    // Raised-cosine edges of a quarter element, fading 20 dB at 2 Hz, the tracker's and the
    // classifier's levels at the top: near the tops the strongest envelope is often a soft
    // edge, and the fit to the marks' peaks holds the level up to near the marks' own.
    const std::vector<bool> units = keyedUnits(8);
    const int edge = UNIT / 4;
    auto keyed = [&](size_t u) { return u < units.size() && units[u]; };
    auto rise = [&](int nIn) {
        return nIn >= edge ? 1.0f
                           : 0.5f - 0.5f * float(std::cos(dsp::TWO_PI * 0.5 * (nIn + 0.5) / edge));
    };
    auto tone = [&](size_t i) {
        const size_t u = i / UNIT;
        const int in = int(i % UNIT);
        float shape = 1.0f;
        if (u == 0 || !keyed(u - 1))
            shape = rise(in);
        if (!keyed(u + 1))
            shape = std::min(shape, rise(UNIT - 1 - in));
        return shape * fading(double(i), 500.0);
    };
    const std::vector<float> ratios = weighedOverTone(
        tone, [](size_t) { return 1.0f; }, [](size_t) { return 1.0f; }, true, 3000);
    ASSERT_GT(ratios.size(), 20u);
    for (float ratio : ratios) {
        EXPECT_GT(ratio, 0.5f);
        EXPECT_LT(ratio, 1.3f);
    }
}

TEST(CwFadePeriod, MeasuresTheTimeBetweenBottomsOfADeepFadeOnly)
{
    // Marks' peaks every two elements with a tenth of noise on them.
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> ripple(0.9f, 1.1f);
    auto watched = [&](auto level, int nPeaks) {
        cw::FadePeriodWatch watch(1.4f);
        for (int n = 0; n < nPeaks; ++n)
            watch.Push(2 * UNIT * n, level(2 * UNIT * n) * ripple(generator));
        return watch;
    };
    // A fade of 20 dB with a period of 30 peaks: three spans between its bottoms give its
    // period, two do not.
    EXPECT_EQ(watched(fadeEvery(2400.0), 80).Period(), 0);
    const cw::FadePeriodWatch fade = watched(fadeEvery(2400.0), 110);
    EXPECT_NEAR(double(fade.Period()), 2400.0, 4.0 * UNIT);
    EXPECT_NEAR(double(fade.LastBottom()), 8400.0, 4.0 * UNIT);
    // A steady signal's peaks never turn; a level that fell once and
    // stays down turned once.
    auto steady = [](int) { return 1.0f; };
    EXPECT_EQ(watched(steady, 200).Period(), 0);
    EXPECT_EQ(watched(steady, 200).LastBottom(), -1);
    EXPECT_EQ(watched([](int n) { return n < 1000 ? 1.0f : 0.1f; }, 200).Period(), 0);
}

TEST(CwFadePeriod, CountsBottomsLostInGapsAsWholePeriods)
{
    // The peaks of a deep fade turn at the bottoms given, each between two tops.
    auto watched = [](const std::vector<std::int64_t>& bottoms) {
        cw::FadePeriodWatch watch(1.4f);
        for (const std::int64_t bottom : bottoms) {
            watch.Push(bottom - 300, 1.0f);
            watch.Push(bottom, 0.1f);
        }
        watch.Push(bottoms.back() + 300, 1.0f);
        return watch;
    };
    // Two bottoms of a fade of 2400 samples fell in gaps: spans of 4800, 2400, 4800.
    EXPECT_EQ(watched({1200, 6000, 8400, 13200}).Period(), 2400);
    // A turn of the noise 700 samples after a bottom, or a span three times another (a
    // receiver's gain pumping at its own pace), does not set it: the middle span counts.
    EXPECT_EQ(watched({1200, 3600, 4300, 6700}).Period(), 2400);
    EXPECT_EQ(watched({1200, 8400, 10800, 18000}).Period(), 7200);
}

namespace {

/// Marks' peaks one to four elements of 20 samples apart up to @p nEnd, at @p level(n) with a
/// ripple of up to @p fRipple either way; those under a third of the top are never seen (as
/// when the bottoms fall in gaps or under the noise) and come with no level.
template <class Level>
std::vector<cw::FadeFit::MarkPeak> peaksOf(Level level, std::int64_t nEnd, float fRipple,
                                           unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> ripple(1.0f - fRipple, 1.0f + fRipple);
    std::uniform_int_distribution<int> apart(1, 4);
    std::vector<cw::FadeFit::MarkPeak> peaks;
    for (std::int64_t n = 0; n < nEnd; n += 20 * apart(generator))
        peaks.push_back({n, level(n) > 0.33f ? level(n) * ripple(generator) : 0.0f});
    return peaks;
}

/// A fit of fades from 600 to 6000 samples over 8000 of the @p peaks seen.
cw::FadeFit fitOf(const std::vector<cw::FadeFit::MarkPeak>& peaks)
{
    cw::FadeFit fit(600, 6000, 8000);
    for (const cw::FadeFit::MarkPeak& peak : peaks)
        if (peak.fLevel > 0.0f)
            fit.Push(peak.nAt, peak.fLevel);
    return fit;
}

} // namespace

TEST(CwFadeFit, FindsAFastFadeWhoseBottomsFallInGapsAndFitsTheLevelDownToThem)
{
    // Marks' peaks at uneven spacing (an element rate of 100 per period) under a fade of
    // 20 dB, with a tenth of noise on them, those near the bottoms never seen.
    constexpr std::int64_t PERIOD = 2000;
    const auto tone = fadeEvery(PERIOD);
    const cw::FadeFit fast = fitOf(peaksOf(tone, 20000, 0.1f, 3));
    EXPECT_NEAR(double(fast.Period()), double(PERIOD), 0.05 * PERIOD);
    EXPECT_GT(fast.Strength(), 0.6f);
    // The fit's level follows the fade at the tops and goes down between them, also across
    // the bottoms it never saw.
    EXPECT_NEAR(fast.LevelAt(20 * PERIOD), 1.0f, 0.2f);
    EXPECT_LT(fast.LevelAt(20 * PERIOD + PERIOD / 2), 0.4f);
    // A slower fade is fitted with its own period, not a fast one.
    EXPECT_NEAR(double(fitOf(peaksOf(fadeEvery(5000.0), 20000, 0.1f, 3)).Period()), 5000.0, 250.0);
    // A steady signal's peaks show no fade; nor do too few peaks.
    EXPECT_EQ(fitOf(peaksOf([](std::int64_t) { return 1.0f; }, 20000, 0.1f, 3)).Period(), 0);
    EXPECT_EQ(fitOf(peaksOf(tone, 200, 0.1f, 3)).Period(), 0);

    // With less noise on the peaks, the sinusoid in the level itself (the fade swings the
    // amplitude evenly) comes down to the fade's bottom, where the log level's stays well over
    // it.
    const cw::FadeFit fit = fitOf(peaksOf(tone, 10 * PERIOD, 0.05f, 3));
    ASSERT_NEAR(double(fit.Period()), double(PERIOD), 0.05 * PERIOD);
    for (std::int64_t n = 10 * PERIOD; n < 11 * PERIOD; n += PERIOD / 8)
        EXPECT_NEAR(fit.AmplitudeAt(n), tone(n), 0.1f) << n;
    const std::int64_t bottom = 10 * PERIOD + PERIOD / 2;
    EXPECT_GT(fit.LevelAt(bottom), 2.0f * tone(bottom));
}

TEST(CwFadeFit, PeaksAtASteadyPaceFitNoFadeOfThatPace)
{
    // The peaks of "OP" at 15 WPM on the way down a slow fade: in a fade of their own pace they
    // fall on two opposite phases, where a sinusoid of any depth fits the decline. Whatever
    // the fit finds, its level stays near theirs.
    const cw::FadeFit::MarkPeak peaks[] = {{277, 0.2037f},  {597, 0.1990f},  {917, 0.1909f},
                                           {1396, 0.1737f}, {1556, 0.1658f}, {1876, 0.1497f},
                                           {2196, 0.1326f}, {2516, 0.1141f}, {2836, 0.0953f}};
    cw::FadeFit fit(300, 3000, 4000);
    for (const cw::FadeFit::MarkPeak& peak : peaks)
        fit.Push(peak.nAt, peak.fLevel);
    if (fit.Period() == 0)
        return; // no fade found: as right
    for (std::int64_t n = 0; n < 3200; n += 40)
        EXPECT_TRUE(fit.LevelAt(n) > 0.03f && fit.LevelAt(n) < 0.4f) << n << ": " << fit.LevelAt(n);
}

TEST(CwFadeFit, PeaksPushedAtOnceFitAsPushedOneByOne)
{
    // Peaks under a fade over three memories (the first ones forgotten), some of no level,
    // moved by a delay: pushed at once they fit as pushed one by one, to the bit.
    constexpr std::int64_t PERIOD = 2000;
    constexpr std::int64_t DELAY = 137;
    const std::vector<cw::FadeFit::MarkPeak> peaks = peaksOf(fadeEvery(PERIOD), 24000, 0.1f, 5);
    auto expectSame = [](const cw::FadeFit& one, const cw::FadeFit& all) {
        EXPECT_EQ(all.Period(), one.Period());
        EXPECT_EQ(all.Strength(), one.Strength());
        EXPECT_EQ(all.Span(), one.Span());
        EXPECT_EQ(all.LastPeak(), one.LastPeak());
        for (std::int64_t n = 24000; n < 24000 + PERIOD; n += PERIOD / 8) {
            EXPECT_EQ(all.LevelAt(n), one.LevelAt(n)) << n;
            EXPECT_EQ(all.AmplitudeAt(n), one.AmplitudeAt(n)) << n;
        }
    };
    cw::FadeFit one(600, 6000, 8000);
    for (const cw::FadeFit::MarkPeak& peak : peaks)
        one.Push(peak.nAt + DELAY, peak.fLevel);
    cw::FadeFit all(600, 6000, 8000);
    all.PushAll(peaks, DELAY);
    ASSERT_GT(one.Period(), 0);
    expectSame(one, all);
    // Peaks of no level add nothing and leave the fit as it was.
    one.Push(30000, 0.0f);
    all.PushAll({{30000 - DELAY, 0.0f}}, DELAY);
    expectSame(one, all);
}

namespace {

/// Held in-phase samples of @p units keyed under a fade of @p fDepth every @p dPeriod samples,
/// each mark's level also scaled by a factor of its own up to @p fScatter either way in the
/// log, in noise of @p fNoise on either part; the first @p nSamples (0: all the units).
std::vector<std::complex<float>> heldFading(const std::vector<bool>& units, double dPeriod,
                                            float fDepth, float fNoise, unsigned seed,
                                            float fScatter = 0.0f, size_t nSamples = 0)
{
    std::mt19937 generator(seed);
    std::normal_distribution<float> noise(0.0f, fNoise);
    std::uniform_real_distribution<float> scatter(-fScatter, fScatter);
    std::vector<std::complex<float>> samples;
    float markFactor = 1.0f;
    for (size_t i = 0; i < (nSamples > 0 ? nSamples : units.size() * UNIT); ++i) {
        const bool markStarts =
            i % UNIT == 0 && units[i / UNIT] && (i == 0 || !units[i / UNIT - 1]);
        if (fScatter > 0.0f && markStarts)
            markFactor = std::exp(scatter(generator));
        const float level = markFactor * fading(double(i), dPeriod, fDepth);
        samples.emplace_back((units[i / UNIT] ? level : 0.0f) + noise(generator), noise(generator));
    }
    return samples;
}

} // namespace

TEST(CwHeldLevelSwing, TellsAFadeFromASteadyToneAndHandsOnThePeaksOfAFadeItFitted)
{
    // Held seconds at 500 samples a second, 40 to an element (15 WPM). Given the rate, the
    // marks' peaks are also fitted: a fade the fit finds hands its peaks on, to start the level
    // follower's fit; without the rate nothing is fitted.
    constexpr double RATE = 500.0;
    constexpr int NO = 0, YES = 1, UNASKED = -1;
    struct Case
    {
        const char* name;
        double dPeriodSec;
        float fDepth;
        double dRate;
        int swung;
        int nFittedPeaks;    ///< at least; 0: none
        float fNoise = 0.3f; ///< per sample
        std::vector<bool> units = keyedUnits(6);
        unsigned seed = 3;
        float fScatter = 0.0f;
        double dHeldSec = 0.0; ///< 0: the whole keying
    };
    const Case cases[] = {
        {"20 dB at 2 Hz", 0.5, 0.9f, RATE, YES, 6},
        {"20 dB at 2 Hz, no rate", 0.5, 0.9f, 0.0, UNASKED, 0},
        {"20 dB at 1 Hz, past the fast period", 1.0, 0.9f, RATE, YES, 6},
        {"steady", 0.5, 0.0f, RATE, NO, UNASKED},
        {"6 dB at 0.4 Hz", 2.5, 0.5f, RATE, NO, UNASKED},
        {"steady, no rate", 0.5, 0.0f, 0.0, NO, UNASKED},
        {"steady near the noise floor, no rate", 7.2, 0.0f, 0.0, NO, UNASKED, 1.5f},
        // Twice over the held seconds, told from the levels alone.
        {"20 dB at 0.14 Hz, no rate", 7.2, 0.9f, 0.0, YES, UNASKED, 0.1f},
        // Three seconds from the fade's peak: the marks at the bottom drown, and the fit spans
        // a period and a half of a slower fade; explaining nearly all the peaks' spread, it
        // shows the swing.
        {"20 dB at 0.5 Hz for 3 s", 2.0, 0.9f, RATE, YES, 1, 0.2f, keyedUnits(2), 1, 0.0f, 3.0},
        {"steady for 3 s", 2.0, 0.0f, RATE, NO, UNASKED, 0.2f, keyedUnits(2), 1, 0.0f, 3.0},
        // Each mark's level scattered so that the fit explains 0.84 of the spread of the peaks
        // of dots two a period, 0.78 with one dot a period or so: too little to tell a fast
        // fade from chance with so few peaks.
        {"ragged, two dots a period", 0.5, 0.9f, RATE, YES, 1, 0.05f, keyedUnits({1, -2}, 70), 3,
         0.4f},
        {"ragged, a dot a period", 0.5, 0.9f, RATE, UNASKED, 0, 0.05f, keyedUnits({1, -6}, 20), 3,
         0.4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const cw::HeldLevelSwing swing(heldFading(c.units, c.dPeriodSec * RATE, c.fDepth, c.fNoise,
                                                  c.seed, c.fScatter, size_t(c.dHeldSec * RATE)),
                                       UNIT, c.fNoise * c.fNoise, c.dRate);
        if (c.swung != UNASKED) {
            EXPECT_EQ(swing.Swung(), c.swung == YES);
        }
        // Only peaks that did not swing may hide a swing, and a steady tone's whole keying does
        // not (three seconds of one may: a few peaks can fit a fast fade by chance).
        EXPECT_FALSE(swing.MaySwing() &&
                     (swing.Swung() || (c.fDepth == 0.0f && c.dHeldSec == 0.0)));
        if (c.nFittedPeaks == 0) {
            EXPECT_TRUE(swing.FittedFadePeaks().empty());
        } else if (c.nFittedPeaks != UNASKED) {
            EXPECT_GE(swing.FittedFadePeaks().size(), size_t(c.nFittedPeaks));
        }
    }
}

TEST(CwHeldLevelSwing, FitsOnePeakForEveryDotOfAFastFadeThoughTheyFollowAnElementApart)
{
    // Runs of five dots an element apart between character gaps, fading 20 dB at 2 Hz in
    // little noise: each dot is one peak of the matched envelope.
    constexpr float NOISE = 0.02f;
    const cw::HeldLevelSwing swing(
        heldFading(keyedUnits({1, -1, 1, -1, 1, -1, 1, -1, 1, -3}, 12), 250.0, 0.9f, NOISE, 6),
        UNIT, NOISE * NOISE, 500.0);
    ASSERT_TRUE(swing.Swung());
    const auto& peaks = swing.FittedFadePeaks();
    // Every dot but the first, which tops out before the averaging length is full.
    EXPECT_EQ(peaks.size(), size_t(5 * 12 - 1));
    EXPECT_GT(peaks.front().nAt, 2 * UNIT);
}

TEST(CwLevelTrend, SmoothsJitterAndFollowsASteadyFadeOnTime)
{
    // A level jumping a fifth up and down from sample to sample comes out near its middle.
    cw::LevelTrend jittered(100.0);
    float smoothed = 0.0f;
    for (int i = 0; i < 2000; ++i)
        smoothed = jittered.Push(i % 2 == 0 ? 1.2f : 0.8f);
    EXPECT_NEAR(smoothed, std::sqrt(1.2f * 0.8f), 0.03f);
    // A level falling 20 dB at a steady rate in decibels is followed without lag, where a
    // plain average of the same time constant stands a tenth over it.
    cw::LevelTrend fading(100.0);
    const int length = 2000;
    for (int i = 0; i <= length; ++i) {
        const float level = std::pow(10.0f, -float(i) / float(length));
        smoothed = fading.Push(level);
        if (i > 500) {
            EXPECT_NEAR(smoothed / level, 1.0f, 0.01f) << i;
        }
    }
    // The first level is taken as it is.
    cw::LevelTrend fresh(100.0);
    EXPECT_FLOAT_EQ(fresh.Push(0.25f), 0.25f);
}

TEST(CwLevelSwing, ReadsEveryStepAndForgetsWhatLeftTheSpan)
{
    // Read every 10 samples, 4 readings kept: the span is the last 40 samples' readings.
    cw::LevelSwingWatch watch(10, 4);
    watch.Push(2.0f); // the first sample is read
    EXPECT_EQ(watch.Highest(), 2.0f);
    EXPECT_EQ(watch.Lowest(), 2.0f);
    // A dip between readings is not seen; one on a reading is.
    for (int i = 1; i < 30; ++i)
        watch.Push(i == 15 ? 0.1f : (i == 20 ? 0.5f : 1.0f));
    EXPECT_EQ(watch.Highest(), 2.0f);
    EXPECT_EQ(watch.Lowest(), 0.5f);
    // Four readings later both extremes have left the span.
    for (int i = 0; i < 40; ++i)
        watch.Push(1.0f);
    EXPECT_EQ(watch.Highest(), 1.0f);
    EXPECT_EQ(watch.Lowest(), 1.0f);
}

TEST(CwUnheardMark, OnlyAnEnvelopeClearOfTheNoiseDeepInsideAKeyUpRunIsAMarkUnheard)
{
    // Envelopes 10 samples long: the key-up run's samples count from 20 after the key went up
    // to 20 before it goes down again; the envelope must reach 1 there.
    constexpr int LENGTH = 10;
    auto heard = [](const std::vector<std::pair<float, bool>>& run) {
        cw::UnheardMarkWatch watch(LENGTH);
        for (const auto& [envelope, keyDown] : run)
            watch.Push(envelope, keyDown, 1.0f);
        return watch.Heard();
    };
    // A gap of 60 samples: the marks' edges on both sides, as strong as they come, lie within
    // two envelopes of them and do not count, nor does the middle under the level asked.
    std::vector<std::pair<float, bool>> run(30, {5.0f, true});
    for (int i = 0; i < 6 * LENGTH; ++i)
        run.push_back({i < 2 * LENGTH || i >= 4 * LENGTH ? 5.0f : 0.9f, false});
    run.insert(run.end(), 30, {5.0f, true});
    EXPECT_FALSE(heard(run));
    // A bump of 1 in the middle of a longer run is a mark unheard, but not where the tracker's
    // key goes down before it is two envelopes past.
    std::vector<std::pair<float, bool>> longer(30, {5.0f, true});
    for (int i = 0; i < 6 * LENGTH; ++i)
        longer.push_back({i == 3 * LENGTH ? 1.0f : 0.1f, false});
    EXPECT_TRUE(heard(longer));
    longer.resize(30 + 4 * LENGTH + 1);
    longer.push_back({5.0f, true});
    EXPECT_FALSE(heard(longer));
}

TEST(DspRingBuffer, KeepsTheLatestValuesByAgeWhateverTheOperations)
{
    // Each case: capacity, operations ('p' pushes the next number, 'P' pushes the next three
    // at once, 'i' pushes the next number set in place, 'o' / 'n' drop the oldest / newest,
    // 'c' clears, 'f' fills with -1, 'r' takes the whole capacity's memory), and the values
    // kept afterwards, oldest first.
    struct Case
    {
        const char* name;
        size_t nCapacity;
        std::string ops;
        std::vector<int> kept;
    };
    const Case cases[] = {
        {"growing", 4, "ppp", {0, 1, 2}},
        {"wrapped", 3, "ppppp", {2, 3, 4}},
        {"bulk across the end", 4, "pPP", {3, 4, 5, 6}},
        {"bulk longer than it", 2, "pP", {2, 3}},
        {"cleared and refilled", 3, "ppppcpp", {4, 5}},
        {"filled then pushed", 3, "fp", {-1, -1, 0}},
        {"deque ends", 4, "pppponp", {1, 2, 4}},
        {"deque wrapped", 3, "pppooppnp", {2, 3, 5}},
        {"no capacity", 0, "ppP", {}},
        {"reserved, then wrapped", 3, "rppppp", {2, 3, 4}},
        {"reserved while growing, then bulk", 4, "pprP", {1, 2, 3, 4}},
        {"reserved deque", 3, "prpponp", {1, 3}},
        {"set in place, growing then wrapped", 3, "ipipi", {2, 3, 4}},
        {"set in place after the newest left", 3, "pppnii", {1, 3, 4}},
        {"set in place after the oldest left", 3, "pppoi", {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dsp::RingBuffer<int> ring(c.nCapacity);
        int next = 0;
        const std::map<char, std::function<void()>> operations = {
            {'p', [&] { ring.Push(next++); }},
            {'P',
             [&] {
                 const int values[] = {next, next + 1, next + 2};
                 ring.Push(values, 3);
                 next += 3;
             }},
            {'i', [&] { ring.PushInPlace() = next++; }},
            {'o', [&] { ring.PopOldest(); }},
            {'n', [&] { ring.PopNewest(); }},
            {'c', [&] { ring.Clear(); }},
            {'f', [&] { ring.Fill(-1); }},
            {'r', [&] { ring.Reserve(); }}};
        for (char op : c.ops)
            operations.at(op)();
        std::vector<int> byAge;
        for (size_t i = 0; i < ring.size(); ++i)
            byAge.push_back(ring[i]);
        EXPECT_EQ(byAge, c.kept);
        std::vector<int> inParts;
        ring.ForEach([&inParts](int n) { inParts.push_back(n); });
        EXPECT_EQ(inParts, c.kept);
        EXPECT_EQ(ring.full(), c.kept.size() == c.nCapacity);
        if (!c.kept.empty()) {
            EXPECT_EQ(ring.Oldest(), c.kept.front());
            EXPECT_EQ(ring.Newest(), c.kept.back());
            EXPECT_EQ(ring.FromNewest(c.kept.size() - 1), c.kept.front());
        }
    }
}

TEST(DspSlidingRun, KeepsTheLatestValuesSideBySideThroughEveryTrim)
{
    // Trimmed by less than it keeps, by as much (the storage is compacted) and by more than
    // it holds; the values left are always the newest, contiguous and in order.
    dsp::SlidingRun<int> run;
    int next = 0;
    auto pushUpTo = [&](int nLast) {
        while (next <= nLast)
            run.Push(next++);
    };
    auto expectFrom = [&](int nOldest, const char* when) {
        ASSERT_EQ(run.size(), size_t(next - nOldest)) << when;
        for (size_t i = 0; i < run.size(); ++i) {
            EXPECT_EQ(run.data()[i], nOldest + int(i)) << when;
            EXPECT_EQ(run[i], nOldest + int(i)) << when;
        }
    };
    pushUpTo(9);
    run.DropOldest(3);
    expectFrom(3, "a few dropped");
    run.DropOldest(4);
    pushUpTo(12);
    expectFrom(7, "compacted, then pushed");
    run.DropOldest(100);
    EXPECT_TRUE(run.empty());
    pushUpTo(14);
    expectFrom(13, "refilled after all were dropped");
    run.Clear();
    EXPECT_TRUE(run.empty());
}
