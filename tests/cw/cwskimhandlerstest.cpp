// One Morse handler per skimmer channel on the value tree: each channel its own values,
// text and session files, taken down when the channel ends.

#include "morseencoder.h"
#include "skimchannelhosts.h"
#include "testfiles.h"

#include "host/values.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

/// The symbol codes of @p text, a line end last.
std::vector<int> codesOf(const QString& text)
{
    QVector<int> codes;
    QString unknown;
    EXPECT_TRUE(MorseEncoder().encode(text, codes, unknown)) << qPrintable(unknown);
    codes << MorseEncoder::CODE_END_OF_LINE;
    return std::vector<int>(codes.begin(), codes.end());
}

values::ValueBase* valueAt(const QString& path)
{
    return values::Tree::Instance()->FindValue(path);
}

TEST(SkimChannelHostsTest, ThreeChannelsGetTheirOwnHandlersTextsAndSessionFiles)
{
    QTemporaryDir save;
    ASSERT_TRUE(save.isValid());
    SkimChannelHosts::Settings settings;
    settings.host.saveDirectory = save.path();
    settings.host.announceFiles = false;
    settings.dDialHz = 7020000.0;
    settings.dSampleRate = 8000.0;
    settings.u64StartUs = 1714564800000000ull; // 2024-05-01 12:00 UTC
    std::vector<SkimChannelHosts::Line> lines;
    SkimChannelHosts hosts(settings,
                           [&](const SkimChannelHosts::Line& line) { lines.push_back(line); });

    const std::map<int, std::pair<double, QString>> channels = {
        {1, {600.0, QStringLiteral("CQ DE DL1ABC")}},
        {2, {850.0, QStringLiteral("TEST W1AW")}},
        {3, {1300.0, QStringLiteral("RST 5NN TU")}}};
    QString error;
    std::map<int, std::vector<int>> codes;
    for (const auto& [channel, signal] : channels) {
        ASSERT_TRUE(hosts.open(channel, signal.first, error)) << error.toStdString();
        codes[channel] = codesOf(signal.second);
    }
    // The handlers' values sit on each channel's own subtree, the frequency dial + pitch.
    for (const auto& [channel, signal] : channels) {
        const QString root = QStringLiteral("/Skimmer/%1/").arg(channel);
        EXPECT_NE(valueAt(root + QStringLiteral("Symbol")), nullptr);
        EXPECT_NE(valueAt(root + QStringLiteral("Text")), nullptr);
        auto* frequency = dynamic_cast<values::ValueNumeric<double>*>(
            valueAt(root + QStringLiteral("Frequency")));
        ASSERT_NE(frequency, nullptr);
        EXPECT_DOUBLE_EQ(frequency->GetValue(), 7020000.0 + signal.first);
    }
    // Interleaved, as the skimmer hands them out.
    for (size_t i = 0, fed = 1; fed > 0; ++i) {
        fed = 0;
        for (const auto& [channel, signal] : channels) {
            if (i < codes[channel].size()) {
                hosts.feed(channel, codes[channel][i], qint64(i) * 800 + channel, signal.first,
                           20.0);
                ++fed;
            }
        }
    }
    for (const auto& [channel, signal] : channels)
        ASSERT_TRUE(hosts.close(channel, error)) << error.toStdString();

    ASSERT_EQ(lines.size(), 3u);
    for (const SkimChannelHosts::Line& line : lines) {
        EXPECT_EQ(line.text, channels.at(line.nChannel).second);
        EXPECT_DOUBLE_EQ(line.dPitchHz, channels.at(line.nChannel).first);
        EXPECT_NEAR(line.dStartSec, line.nChannel / 8000.0, 1e-9);
    }
    // Their values went with them.
    for (const QString& path : values::Tree::Instance()->Paths())
        EXPECT_FALSE(path.startsWith(QStringLiteral("/Skimmer/"))) << path.toStdString();
    // Each signal has its own text file (named after its frequency, at the handler's kHz
    // resolution, and its own session number) and its own report.
    const QDir dir(save.path());
    const QStringList texts = dir.entryList({QStringLiteral("*MHz__Default.txt")}, QDir::Files);
    ASSERT_EQ(texts.size(), 3);
    EXPECT_TRUE(texts.first().contains(QStringLiteral("7_021MHz"))) << texts.first().toStdString();
    std::map<QString, int> fileOfText;
    for (const QString& name : texts) {
        const QString content = QString::fromUtf8(testfiles::contentOf(dir.filePath(name)));
        for (const auto& [channel, signal] : channels) {
            if (content.contains(signal.second))
                ++fileOfText[signal.second];
        }
    }
    for (const auto& [channel, signal] : channels)
        EXPECT_EQ(fileOfText[signal.second], 1) << signal.second.toStdString();
    EXPECT_EQ(dir.entryList({QStringLiteral("OrielResultData_*.xml")}, QDir::Files).size(), 3);
}

TEST(SkimChannelHostsTest, ReopeningAChannelThatIsOpenIsRefused)
{
    SkimChannelHosts hosts(SkimChannelHosts::Settings(), [](const SkimChannelHosts::Line&) {});
    QString error;
    ASSERT_TRUE(hosts.open(7, 700.0, error));
    EXPECT_FALSE(hosts.open(7, 700.0, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_NE(hosts.host(7), nullptr);
    EXPECT_TRUE(hosts.closeAll(error));
    EXPECT_EQ(hosts.host(7), nullptr);
}

} // namespace
