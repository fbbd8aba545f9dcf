#include "tools/morsehandler/simplemorsehandler.h"

#include <gtest/gtest.h>

TEST(MarkerText, SymbolCodesSpellOutDotsDashesSeparatorsAndOneErrorMarker)
{
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbols({0, 1, 3, 1, 0, 0, 0, 4}), ".- -...\t");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbols({0, 2, 2, 1, 5}), ".-\n") << "2 is no symbol";
    for (short error : {64, 65, 66, 192})
        EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(error), "[PAUSE TO SHORT]") << error;
}

TEST(MarkerText, OnlyTheLowestSevenBitsOfACodeCount)
{
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(128), ".");
    EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(133), "\n");
    for (short code : {-1, 2, 6, 63, 67, 127})
        EXPECT_EQ(SimpleMorseHandler::ConvertSymbol(code), "") << code;
}
