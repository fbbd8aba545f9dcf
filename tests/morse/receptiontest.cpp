#include "receptionfixture.h"

using StreamAssembly = ReceptionTest;
using SymbolBuffer = ReceptionTest;
using SymbolQueueing = ReceptionTest;

TEST_F(StreamAssembly, CharactersAndWordEndsArePublishedAsTheyFinish)
{
    send({0, 1, 3, 1, 0, 0, 0, 3, 4});
    EXPECT_EQ(recorder->units, QStringList({"A", "B", " "}));
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c-...cw"));
}

TEST_F(StreamAssembly, RepeatedCharacterIsAnnouncedAgain)
{
    send({0, 1, 3, 0, 1, 3});
    EXPECT_EQ(recorder->units, QStringList({"A", "A"}));
    EXPECT_EQ(recorder->count(text, CHANGE_VALUE), 2);
}

TEST_F(StreamAssembly, OnlyTheLowestSevenBitsOfACodeCount)
{
    send({128, 1 + 256, 2, 100, 3});
    EXPECT_EQ(recorder->units, QStringList({"A"}));
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c"));
}

TEST_F(StreamAssembly, LoneDashAfterADigitReadsAsZeroEvenAcrossAWordEnd)
{
    send({0, 1, 1, 1, 1, 3, 1, 3});
    EXPECT_EQ(recorder->units, QStringList({"1", "0"}));
    recorder->units.clear();
    send({0, 1, 1, 1, 1, 3, 1, 4, 1, 3});
    EXPECT_EQ(recorder->units, QStringList({"1", "T ", "0"}));
}

TEST_F(StreamAssembly, UnknownCodeYieldsAnEmptyCharacterAndClearsTheDigitFlag)
{
    send({0, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 3, 1, 3});
    EXPECT_EQ(recorder->units, QStringList({"1", "", "T"}));
}

TEST_F(StreamAssembly, LineEndFinishesTheCharacterAndPublishesALineFeed)
{
    setTimestamps(1000000, 2000000);
    send({0, 1, 5});
    EXPECT_EQ(recorder->units, QStringList({"A", "\n"}));
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c\n"));
}

TEST_F(StreamAssembly, LineEndBeforeTwoTimestampsOnlyFinishesTheCharacter)
{
    handler->SetTimestamp(1000000);
    send({0, 1, 5, 5});
    EXPECT_EQ(recorder->units, QStringList({"A"}));
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c"));
}

TEST_F(StreamAssembly, HandlerWithoutTextValueKeepsItsBuffer)
{
    values::Tree::Instance()->RemoveValue(QStringLiteral("/Morse/Text"));
    send({0, 1, 3, 4, 0, 1, 3});
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-cw.-c"));
}

TEST_F(SymbolBuffer, FullBufferDropsAsManyFrontSymbolsAsAreAppended)
{
    send({1});
    for (int i = 0; i < 29998; ++i)
        send({0});
    ASSERT_EQ(handler->GetCurrentMorseSymbolString().size(), 29999);
    send({3});
    const QString& buffer = handler->GetCurrentMorseSymbolString();
    EXPECT_EQ(buffer.size(), 29999);
    EXPECT_EQ(buffer.front(), QLatin1Char('.'));
    EXPECT_EQ(buffer.back(), QLatin1Char('c'));
}

TEST_F(SymbolBuffer, LongReceptionKeepsExactlyTheNewestSymbols)
{
    const int pattern[] = {0, 1, 3, 1, 0, 0, 0, 3, 4, 0, 3}; // ".-c-...cw.c"
    QString expected;
    for (int round = 0; round < 10000; ++round) {
        for (int code : pattern)
            handler->AddSymbol(code);
        expected += QStringLiteral(".-c-...cw.c");
    }
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), expected.right(29999));
    EXPECT_EQ(handler->TranslateText(true, true, 4), QStringLiteral("AB E"));
    EXPECT_EQ(handler->TranslateText(false, false, 0).right(6), QStringLiteral(" EAB E"));
}

TEST_F(SymbolBuffer, TailsCoverTheLastFinishedUnits)
{
    send({0, 1, 3, 1, 0, 0, 0, 3});
    EXPECT_EQ(handler->TranslateText(true, true, 1), QStringLiteral("B"));
    EXPECT_EQ(handler->TranslateText(true, false, 1), QString());
    EXPECT_EQ(handler->TranslateText(false, false, 0), QStringLiteral("AB"));
    send({1, 1, 4, 0}); // a word end, then an unfinished character
    EXPECT_EQ(handler->TranslateText(true, true, 1), QStringLiteral(" ")); // the word end alone
    EXPECT_EQ(handler->TranslateText(true, true, 2), QStringLiteral("M "));
    EXPECT_EQ(handler->TranslateText(true, true, 3), QStringLiteral("BM "));
    EXPECT_EQ(handler->TranslateText(true, true, 99), QStringLiteral("ABM "));
    handler->ClearSymbolBuffer();
    EXPECT_EQ(handler->TranslateText(false, false, 0), QString());
}

TEST_F(SymbolQueueing, CodesWaitWhileUnavailableAndProcessingThenTrailsByThatMany)
{
    available->SetValue(false, nullptr);
    send({0, 1, 3});
    EXPECT_TRUE(recorder->units.isEmpty());
    available->SetValue(true, nullptr);
    send({0}); // processes the first dot only
    send({1, 3});
    EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QStringLiteral(".-c"));
    EXPECT_EQ(recorder->units, QStringList({"A"}));
}

TEST_F(SymbolQueueing, EndedSessionProcessesNothingUntilANewStart)
{
    send({0, 1});
    handler->EndMorseSession();
    send({3, 0, 3});
    EXPECT_TRUE(recorder->units.isEmpty());
    EXPECT_TRUE(handler->GetCurrentMorseSymbolString().isEmpty());
    handler->StartNewMorseSession();
    send({2});
    EXPECT_EQ(recorder->units, QStringList({""})); // the queued 3 finishes an empty character
}

TEST_F(SymbolQueueing, FullListDropsTheOldestCodesWithOneTracePerEpisode)
{
    TraceCapture trace;
    available->SetValue(false, nullptr);
    send({0, 3}); // an E that will be pushed out
    for (int i = 0; i < MorseHandler::SYMBOL_LIST_LIMIT; ++i)
        handler->AddSymbol(2);
    EXPECT_EQ(trace.lines.size(), 1);
    available->SetValue(true, nullptr);
    send({2, 2});
    EXPECT_TRUE(recorder->units.isEmpty());
    EXPECT_EQ(trace.lines.size(), 1);
}
