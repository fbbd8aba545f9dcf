// Committed clips from both generators: our synthesizer (with noise) and minimodem (clean),
// three shifts, three speeds, both polarities, 1, 1.5 and 2 stop bits.

#include "rttyclips.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Clip
{
    const char* name;
    double baud;
    double markHz;
    double spaceHz;
};

const Clip CLIPS[] = {
    {"ours-45-170", 45.45, 1585.0, 1415.0},      {"ours-50-425-reversed", 50.0, 1000.0, 1425.0},
    {"ours-75-850-1stop", 75.0, 2125.0, 1275.0}, {"peer-45-170", 45.45, 1585.0, 1415.0},
    {"peer-50-425-2stop", 50.0, 1700.0, 1275.0}, {"peer-75-850-reversed", 75.0, 1200.0, 2050.0},
    {"peer-mtk2-50-425", 50.0, 1585.0, 1160.0},
};

class RttyClip : public testing::TestWithParam<Clip>
{
};

} // namespace

TEST_P(RttyClip, DecodesToItsTextWithTheTrueSignalFound)
{
    const Clip& clip = GetParam();
    const auto decoded = rttytest::decodeClip(QLatin1String(clip.name));
    ASSERT_TRUE(decoded.found);
    EXPECT_EQ(decoded.text, rttytest::clipText(QLatin1String(clip.name) + QStringLiteral(".txt")));
    EXPECT_DOUBLE_EQ(decoded.baud, clip.baud);
    EXPECT_NEAR(decoded.markHz, clip.markHz, 10.0);
    EXPECT_NEAR(decoded.spaceHz, clip.spaceHz, 10.0);
    for (const auto& character : decoded.characters)
        EXPECT_FALSE(character.bFramingError) << character.nSample;
}

INSTANTIATE_TEST_SUITE_P(Clips, RttyClip, testing::ValuesIn(CLIPS),
                         [](const testing::TestParamInfo<Clip>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
