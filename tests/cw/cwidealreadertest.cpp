// The ideal reader the CER bench prints as each cell's floor: it must read what is there to
// read, and lose only where the tone sinks into the noise.

#include "cwidealreader.h"

#include <gtest/gtest.h>

namespace {

using Ideal = cwbench::CwIdealReader;

Ideal::Settings at(double dWpm, double dSnrDb, double dQsbHz = 0.0)
{
    Ideal::Settings settings;
    settings.dWpm = dWpm;
    settings.dSnrDb = dSnrDb;
    settings.dQsbHz = dQsbHz;
    return settings;
}

TEST(CwIdealReader, ReadsEveryCharacterAndGapOfAClearToneAndNothingWithoutACode)
{
    const QString text = QStringLiteral("CQ DE DL1ABC/P 599, ES 73? 0");
    EXPECT_EQ(Ideal(at(25, 20)).Read(text), text);
    EXPECT_EQ(Ideal(at(50, 20)).Read(text.toLower()), text);
    EXPECT_TRUE(Ideal(at(25, 20)).Read(QStringLiteral("CQ #")).isEmpty());
}

TEST(CwIdealReader, LosesCharactersOnlyWhereAFadeSinksIntoTheNoise)
{
    // At 35 WPM a 20 dB fade at 0.05 Hz is at its peak (0 dB) for the first seconds and at its
    // bottom (-20 dB) ten seconds in.
    const QString word = QStringLiteral("PARIS ");
    const QString text = word.repeated(14).trimmed();
    const QString read = Ideal(at(35, 0, 0.05)).Read(text);
    EXPECT_TRUE(read.startsWith(word.repeated(3))) << qPrintable(read);
    EXPECT_NE(read, text);
    EXPECT_EQ(Ideal(at(35, 0)).Read(text), text);
}

} // namespace
