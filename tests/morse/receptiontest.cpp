#include "receptionfixture.h"

#include <QDir>

#include <vector>

using StreamAssembly = ReceptionTest;
using SymbolBuffer = ReceptionTest;
using SymbolQueueing = ReceptionTest;

TEST_F(StreamAssembly, FinishedCharactersWordEndsAndLineEndsArePublishedAsTheyFinish)
{
    const struct
    {
        int timestamps; // how many are set before the codes
        std::vector<int> codes;
        QStringList units;
        const char* symbols;
    } cases[] = {
        {0, {0, 1, 3, 1, 0, 0, 0, 3, 4}, {"A", "B", " "}, ".-c-...cw"},
        {0, {0, 1, 3, 0, 1, 3}, {"A", "A"}, ".-c.-c"},      // a repeat is announced again
        {0, {128, 1 + 256, 2, 100, 3}, {"A"}, ".-c"},       // only the lowest seven bits count
        {0, {0, 1, 1, 1, 1, 3, 1, 3}, {"1", "0"}, nullptr}, // lone dash after a digit
        {0, {0, 1, 1, 1, 1, 3, 1, 4, 1, 3}, {"1", "T ", "0"}, nullptr}, // even across a word end
        {0, {0, 1, 1, 1, 1, 3, 1, 1, 1, 1, 1, 1, 3, 1, 3}, {"1", "", "T"}, nullptr}, // unknown
        {2, {0, 1, 5}, {"A", "\n"}, ".-c\n"},
        {1, {0, 1, 5, 5}, {"A"}, ".-c"}, // a line end needs two timestamps
    };
    for (const auto& c : cases) {
        startHandler();
        recorder->units.clear();
        for (int i = 1; i <= c.timestamps; ++i)
            handler->SetTimestamp(i * 1000000ULL);
        for (int code : c.codes)
            handler->AddSymbol(code);
        EXPECT_EQ(recorder->units, c.units) << c.codes.size();
        if (c.symbols) {
            EXPECT_EQ(handler->GetCurrentMorseSymbolString(), QLatin1String(c.symbols));
        }
    }
}

TEST_F(SymbolBuffer, HeldBufferKeepsExactlyTheNewestSymbolsBeforeAndAfterTrimmingStarts)
{
    const QString& buffer = handler->GetCurrentMorseSymbolString();
    send({0, 3});
    EXPECT_EQ(buffer, QStringLiteral(".c"));
    QString expected = buffer;
    for (int round = 0; round < 10000; ++round) {
        send({0, 1, 3, 1, 0, 0, 0, 3, 4, 0, 3});
        expected += QStringLiteral(".-c-...cw.c");
    }
    EXPECT_EQ(buffer.size(), MorseHandler::SYMBOL_BUFFER_LIMIT - 1);
    EXPECT_EQ(buffer, expected.right(MorseHandler::SYMBOL_BUFFER_LIMIT - 1));
    EXPECT_EQ(&buffer, &handler->GetCurrentMorseSymbolString());
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
    EXPECT_EQ(handler->TranslateText(true, true, 1), QStringLiteral(" "));
    EXPECT_EQ(handler->TranslateText(true, true, 2), QStringLiteral("M "));
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

TEST_F(StreamAssembly, CharacterCodeLongerThanAnyAlphabetsEndsAsAnErrorAndReceptionGoesOn)
{
    QTemporaryDir dir;
    startSaving(dir.path());
    for (int i = 0; i < 3 * MorseHandler::CHARACTER_CODE_LIMIT; ++i)
        send({0});
    send({3, 0, 1, 3}); // the overlong character ends, as an unknown one; A follows
    EXPECT_EQ(recorder->units, QStringList({"", "A"}));
    const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 2);
    const QString code = QString::fromUtf8(contentOf(dir.filePath(files.at(0))));
    const QString text = QString::fromUtf8(contentOf(dir.filePath(files.at(1))));
    EXPECT_EQ(text, QStringLiteral("[CHARACTER_TOO_LONG]A"));
    EXPECT_TRUE(code.endsWith(QStringLiteral("[CHARACTER_TOO_LONG] .- ")));
    EXPECT_EQ(code.count(QLatin1Char('[')), 1); // one marker for the whole character
}
