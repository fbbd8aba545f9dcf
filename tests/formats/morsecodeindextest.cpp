#include "tools/morsehandler/morsecodeindex.h"
#include "tools/morsecore/morsesymbolcode.h"

#include <gtest/gtest.h>

using morse::MorseCodeIndex;

TEST(MorseCodeIndex, SharedCodeGivesTheSmallestTextInKeyOrder)
{
    const QMap<QString, QString> alphabet{{QStringLiteral("AR"), QStringLiteral(".-.-.")},
                                          {QStringLiteral("+"), QStringLiteral(".-.-.")},
                                          {QStringLiteral("A"), QStringLiteral(".-")}};
    MorseCodeIndex index;
    index.Rebuild(alphabet);
    ASSERT_NE(index.Find(u".-.-."), nullptr);
    EXPECT_EQ(*index.Find(u".-.-."), QStringLiteral("+"));
    EXPECT_EQ(index.Find(u"..."), nullptr);
}

TEST(MorseCodeIndex, LongAndUnusualCodesAreFoundToo)
{
    const QString longCode(40, QLatin1Char('.'));
    const QMap<QString, QString> alphabet{{QStringLiteral("LONG"), longCode},
                                          {QStringLiteral("ODD"), QStringLiteral(".x-")},
                                          {QStringLiteral("EMPTY"), QString()}};
    MorseCodeIndex index;
    index.Rebuild(alphabet);
    EXPECT_EQ(*index.Find(longCode), QStringLiteral("LONG"));
    EXPECT_EQ(*index.Find(u".x-"), QStringLiteral("ODD"));
    EXPECT_EQ(*index.Find(u""), QStringLiteral("EMPTY"));
    EXPECT_EQ(*index.FindPacked(MorseCodeIndex::EMPTY_KEY), QStringLiteral("EMPTY"));
}

TEST(MorseCodeIndex, KeyBuiltElementByElementEqualsThePackedCode)
{
    quint32 key = MorseCodeIndex::EMPTY_KEY;
    const QString code = QStringLiteral("-.--.-");
    for (int i = 0; i < code.size(); ++i)
        ASSERT_TRUE(MorseCodeIndex::AppendElement(key, i, code.at(i)));
    quint32 packed = 0;
    ASSERT_TRUE(MorseCodeIndex::Pack(code, &packed));
    EXPECT_EQ(key, packed);
    EXPECT_FALSE(
        MorseCodeIndex::AppendElement(key, MorseCodeIndex::MAX_PACKED_ELEMENTS, QLatin1Char('.')));
    EXPECT_FALSE(MorseCodeIndex::AppendElement(key, 0, QLatin1Char('c')));
}

TEST(MorseSymbolCode, OnlyTheEightSymbolCodesHaveASlot)
{
    int withSlot = 0;
    for (int code = -1; code < 200; ++code)
        withSlot += morse::symbolSlot(code) >= 0;
    EXPECT_EQ(withSlot, morse::SYMBOL_COUNT);
    EXPECT_EQ(morse::symbolSlot(morse::SYMBOL_PAUSE_TOO_SHORT), 7);
    EXPECT_EQ(morse::symbolSlot(192 & morse::SYMBOL_CODE_MASK),
              morse::symbolSlot(morse::SYMBOL_DOT_TOO_SHORT));
}
