#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

TEST(MarkerText, SymbolCodesSpellOutDotsDashesAndSeparators)
{
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbols({0, 1, 3, 1, 0, 0, 0, 4}), ".- -...\t");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbols({0, 2, 2, 1, 5}), ".-\n") << "2 is no symbol";
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbols({}), "");
}

TEST(MarkerText, OnlyTheLowestSevenBitsOfACodeCount)
{
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(128), ".");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(133), "\n");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(192), "[PAUSE TO SHORT]");
    for (short code : {short(-1), short(2), short(6), short(63), short(67), short(127)})
        EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(code), "") << code;
}

TEST(MarkerText, TheThreeTimingErrorsShareOneMarker)
{
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(64), "[PAUSE TO SHORT]");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(65), "[PAUSE TO SHORT]");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(66), "[PAUSE TO SHORT]");
    EXPECT_EQ(SimpleMorseHandler::UNKNOWN, "[UNKNOWN]");
}
