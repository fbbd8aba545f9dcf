// What a re-acquisition reads again and what is given out meanwhile: the queue of symbols
// decided, which holds back those of a fresh reading that is not clear, and the seconds handed
// back for a new reading.

#include "cwbenchsupport.h"

#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwsynthesizer.h"
#include "tools/cwdemodulator/losttimingwatch.h"
#include "tools/cwdemodulator/reacquisition.h"
#include "tools/cwdemodulator/speedacquisition.h"
#include "tools/cwdemodulator/symbolqueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

TEST(CwSymbolQueue, HeldSymbolsWaitForTheirReleaseOrMakeWayForANewReading)
{
    cw::SymbolQueue queue;
    cw::CwSymbol symbol;
    auto taken = [&]() {
        std::vector<std::pair<int, std::int64_t>> symbols;
        while (queue.Take(symbol))
            symbols.emplace_back(symbol.nCode, symbol.nSamplePosition);
        return symbols;
    };
    using Taken = std::vector<std::pair<int, std::int64_t>>;
    queue.Push(morse::SYMBOL_DOT, 100);
    queue.HoldBack();
    queue.Push(morse::SYMBOL_DASH, 200);
    queue.Push(morse::SYMBOL_END_OF_CHARACTER, 300);
    queue.Push(morse::SYMBOL_DASH, 400);
    EXPECT_EQ(queue.FirstHeldPosition(), 200);
    EXPECT_EQ(taken(), (Taken{{morse::SYMBOL_DOT, 100}}));

    // A new reading from 300 on: what was held from there goes, what came before stays held,
    // and the new reading's symbols are placed from what is left on, not after the dropped.
    queue.DropFrom(300);
    EXPECT_EQ(queue.FirstHeldPosition(), 200);
    EXPECT_TRUE(taken().empty());
    queue.Push(morse::SYMBOL_DOT, 250);
    queue.Release();
    EXPECT_EQ(queue.FirstHeldPosition(), -1);
    EXPECT_EQ(taken(), (Taken{{morse::SYMBOL_DASH, 200}, {morse::SYMBOL_DOT, 250}}));

    // Released, the symbols flow again; a drop touches nothing given out.
    queue.Push(morse::SYMBOL_END_OF_WORD, 500);
    queue.DropFrom(0);
    EXPECT_EQ(taken(), (Taken{{morse::SYMBOL_END_OF_WORD, 500}}));
    queue.HoldBack();
    queue.DropFrom(0);
    queue.Push(morse::SYMBOL_DOT, 450);
    queue.Release();
    EXPECT_EQ(taken(), (Taken{{morse::SYMBOL_DOT, 500}}));
}

TEST(CwLostTimingWatch, DashesFarTooLongOrMarksNearlyAllDotsLoseTheTiming)
{
    cw::LostTimingWatch watch;
    // '.' a dot, '-' a dash, '+' a dash far too long.
    auto send = [&watch](const std::string& marks) {
        for (char mark : marks) {
            if (mark == '+')
                watch.OnSymbol(morse::SYMBOL_DASH_TOO_LONG, 0);
            watch.OnSymbol(mark == '.' ? morse::SYMBOL_DOT : morse::SYMBOL_DASH, 0);
        }
    };
    // The speed fell: three dashes far too long among the last eight marks.
    send("+.-+...");
    EXPECT_FALSE(watch.Lost());
    send("+");
    EXPECT_TRUE(watch.Lost());

    // Read far too slow, the dashes come out as dots: a dash or none among the last 24 marks.
    // Fewer marks than that tell nothing yet, and two dashes are text (5 H 5 S).
    watch.Reset();
    send(std::string(23, '.'));
    EXPECT_FALSE(watch.Lost());
    send(".");
    EXPECT_TRUE(watch.Lost());
    send("-");
    EXPECT_TRUE(watch.Lost());
    send("-");
    EXPECT_FALSE(watch.Lost());
}

TEST(CwLostTimingWatch, CharactersDecidedNearlyAllOfDashesAloneLoseTheTiming)
{
    // Read three times too fast, dots come out as dashes and nearly every mark as a character
    // of its own. '.' a dot, '-' a dash, ' ' a character's end.
    cw::LostTimingWatch watch;
    auto decide = [&watch](const std::string& codes) {
        for (char code : codes)
            watch.OnDecidedSymbol(code == '.'   ? morse::SYMBOL_DOT
                                  : code == '-' ? morse::SYMBOL_DASH
                                                : morse::SYMBOL_END_OF_CHARACTER);
    };
    // Fewer than ten characters tell nothing, nor do character ends without a mark.
    decide("- -- - -.- -  -- - - -- ");
    EXPECT_FALSE(watch.Lost());
    decide("--- ");
    EXPECT_TRUE(watch.Lost());
    // Two characters of ten with a dot are text (TEST MOM TOO), and so are ten of dashes alone
    // with four single dashes (TOM TOM OTTO).
    for (const char* text : {"- . ... - -- --- -- - --- --- ", "- --- -- - --- -- --- - - --- "}) {
        watch.Reset();
        decide(text);
        EXPECT_FALSE(watch.Lost()) << text;
    }
}

namespace {

/// A re-acquisition at 1000 baseband samples a second, the acquisition it hands the seconds
/// kept to, and how long a reading is held and then tracked until proven.
class CwReacquisition : public testing::Test
{
protected:
    static constexpr double RATE = 1000.0;
    const size_t held = size_t(cw::SpeedAcquisition::MIN_SEC * RATE);
    const size_t proven = held + size_t(cw::Reacquisition::HOLD_SEC * RATE);
    cw::SpeedAcquisition acquisition{RATE, 20.0, 240.0, {}};
    cw::Reacquisition reacquisition{RATE};

    /// Tracks @p nCount samples: those (counted from 1) at which a second reading came due.
    std::vector<size_t> track(size_t nCount)
    {
        std::vector<size_t> due;
        for (size_t i = 1; i <= nCount; ++i) {
            reacquisition.Push({1.0f, 0.0f});
            if (reacquisition.TakeSecondReading())
                due.push_back(i);
        }
        return due;
    }
};

} // namespace

TEST_F(CwReacquisition, AFreshReadingIsReadAgainFromItsStartAndAProvenOneFromItsLastSeconds)
{

    // Lost within its first seconds: every sample since the reading began goes back, and a
    // new speed reads them anew.
    reacquisition.Start(held);
    std::int64_t next = 5000;
    const size_t fresh = proven - 10;
    track(fresh);
    EXPECT_TRUE(reacquisition.IsFresh());
    reacquisition.Begin(next + std::int64_t(fresh), 30.0, 40000, acquisition);
    EXPECT_EQ(acquisition.Start(), next);
    EXPECT_EQ(acquisition.HeldCount(), fresh);
    EXPECT_EQ(reacquisition.RereadFrom(), next);
    EXPECT_TRUE(reacquisition.Settle(90.0));

    // Proven: only the last seconds go back (never from before the last time), and at about
    // the speed it left what was given out of them stands.
    next += std::int64_t(fresh);
    reacquisition.Start(held);
    const size_t tracked = proven + 3500;
    track(tracked);
    EXPECT_FALSE(reacquisition.IsFresh());
    reacquisition.Begin(next + std::int64_t(tracked), 90.0, 70000, acquisition);
    // Trimmed by whole seconds from the reading's start, as if it had never been fresh.
    EXPECT_EQ(acquisition.HeldCount(), held + 500);
    EXPECT_EQ(acquisition.Start(), next + std::int64_t(tracked - held - 500));
    EXPECT_FALSE(reacquisition.Settle(100.0));
    EXPECT_EQ(reacquisition.ReplayedThrough(), 70000);
}

TEST_F(CwReacquisition, ATransmissionsFirstReadingAloneIsReadAgainOnceProven)
{
    reacquisition.Start(held);
    EXPECT_EQ(track(proven + 2000), std::vector<size_t>{proven});

    // Lent, the seconds kept are those a re-acquisition would take, and nothing else changes.
    reacquisition.Lend(9000, acquisition);
    EXPECT_EQ(acquisition.Start(), 9000 - std::int64_t(held));
    EXPECT_EQ(acquisition.HeldCount(), held);

    // The reading a re-acquisition found is no first one; the next transmission's is.
    reacquisition.Begin(9000, 30.0, 8000, acquisition);
    reacquisition.Start(held);
    EXPECT_TRUE(track(proven + 10).empty());
    reacquisition.Start(held);
    EXPECT_EQ(track(proven + 10), std::vector<size_t>{proven});
}

TEST_F(CwReacquisition, ADoubtedReadingIsReadAnewFromAllItsSecondsAndNotDoubtedAgain)
{
    using Anew = cw::Reacquisition::Anew;

    // Doubted while fresh, then proven; each reading afresh.
    reacquisition.Start(held);
    reacquisition.DoubtLevel();
    track(proven - 1);
    EXPECT_TRUE(reacquisition.IsLevelDoubted());
    EXPECT_FALSE(reacquisition.IsDoubtedReadingProven());
    track(1);
    EXPECT_FALSE(reacquisition.IsLevelDoubted());
    EXPECT_TRUE(reacquisition.IsDoubtedReadingProven());
    reacquisition.Start(held);
    track(proven);
    EXPECT_FALSE(reacquisition.IsDoubtedReadingProven());

    // Every sample of the reading goes back and is read anew, at the speed it left too; the
    // reading anew is not doubted, the one after it is read as any other.
    std::int64_t next = 7000;
    for (Anew why : {Anew::LevelMoved, Anew::Proven}) {
        next += 3 * std::int64_t(proven);
        reacquisition.Start(held);
        reacquisition.DoubtLevel();
        track(proven);
        reacquisition.BeginAnew(next, why, acquisition);
        EXPECT_EQ(acquisition.Start(), next - std::int64_t(proven));
        EXPECT_TRUE(reacquisition.Settle(40.0));
        EXPECT_EQ(reacquisition.SettledAnew(), why);
        reacquisition.Start(held);
        reacquisition.DoubtLevel();
        track(proven);
        EXPECT_FALSE(reacquisition.IsDoubtedReadingProven());
        reacquisition.Begin(next + std::int64_t(proven), 40.0, 9000, acquisition);
        EXPECT_FALSE(reacquisition.Settle(40.0));
        EXPECT_EQ(reacquisition.SettledAnew(), Anew::No);
    }
}

TEST_F(CwReacquisition, AClearReadingIsGivenOutAtOnceAndOneWithoutElementLongSegmentsWaits)
{
    // Fed as a sound card delivers it, 20 ms at a time: the seconds into the input at which
    // the first symbol comes out, and the text.
    constexpr int AUDIO_RATE = 8000;
    auto live = [](const QString& text) {
        cw::CwSynthesizer::Settings settings; // 20 WPM
        settings.bNoise = true;
        settings.dSnrDb = 10.0;
        cw::CwSynthesizer synthesizer(settings);
        EXPECT_TRUE(synthesizer.SetText(text));
        const std::vector<float> samples = synthesizer.RenderAll();
        cw::CwDemodulator::Settings demodulation;
        demodulation.dSampleRate = AUDIO_RATE;
        cw::CwDemodulator demodulator(demodulation);
        std::vector<int> codes;
        double firstOut = -1.0;
        cw::CwSymbol symbol;
        const size_t block = AUDIO_RATE / 50;
        for (size_t i = 0; i < samples.size(); i += block) {
            const size_t count = std::min(block, samples.size() - i);
            demodulator.Process(samples.data() + i, count);
            while (demodulator.TakeSymbol(symbol)) {
                if (firstOut < 0.0)
                    firstOut = double(i + count) / AUDIO_RATE;
                codes.push_back(symbol.nCode);
            }
        }
        demodulator.Finish();
        while (demodulator.TakeSymbol(symbol))
            codes.push_back(symbol.nCode);
        return std::make_pair(firstOut, cwbench::normalized(cwbench::codesToText(codes)));
    };
    const double provenSec = cw::SpeedAcquisition::MIN_SEC + cw::Reacquisition::HOLD_SEC;

    // Dots and the gaps within characters: the reading is clear once it is learned from the
    // held seconds, and its first characters come out as they are decided.
    const auto clear = live(QStringLiteral("CQ CQ DE K1ABC K1ABC K"));
    EXPECT_EQ(clear.second, QStringLiteral("CQ CQ DE K1ABC K1ABC K"));
    EXPECT_GE(clear.first, cw::SpeedAcquisition::MIN_SEC);
    EXPECT_LT(clear.first, provenSec - 1.0) << clear.first;

    // Dashes alone: few of the segments are element-long, as few as of a reading too fast; held
    // back until the reading was followed past its held seconds.
    const auto dashes = live(QStringLiteral("MOM TOO OTTO MOM"));
    EXPECT_EQ(dashes.second, QStringLiteral("MOM TOO OTTO MOM"));
    EXPECT_GE(dashes.first, provenSec) << dashes.first;
}
