#include "host/orielresultdata.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace OrielResultDataXml;

namespace {

OrielResultData* reportWithOneFrame(const QString& text)
{
    auto* report = new OrielResultData;
    auto* transmission = new Transmission;
    transmission->SetStartTime(QDateTime::fromMSecsSinceEpoch(1700000000123LL, Qt::UTC));
    transmission->SetStopTime(QDateTime::fromMSecsSinceEpoch(1700000005000LL, Qt::UTC));
    report->AddTransmission(transmission);
    auto* block = new DataBlock(-1, 0, 0);
    transmission->AddDataBlock(block);
    block->BeginFrame();
    block->SetTimeStamp(1700000000123456ULL);
    block->AppendData(text);
    block->EndFrame();
    return report;
}

} // namespace

TEST(OrielResultData, SaveWritesTheReportOrFailsOnEmptyNameOrUnwritablePlace)
{
    QTemporaryDir dir;
    std::unique_ptr<OrielResultData> report(reportWithOneFrame(QStringLiteral(" A\n")));
    report->SetWorkDir(dir.path());
    ASSERT_TRUE(report->SaveFile(QStringLiteral("report.xml")));
    EXPECT_EQ(testfiles::contentOf(dir.filePath(QStringLiteral("report.xml"))), report->ToXml());
    EXPECT_FALSE(report->SaveFile(QString()));
    EXPECT_FALSE(report->SaveFile(QStringLiteral("/nonexistent-directory/x/report.xml")));
    report->Reset();
    EXPECT_TRUE(report->Transmissions().empty());
    report->AddTransmission(new Transmission); // unset times are omitted
    EXPECT_TRUE(report->ToXml().contains("<Transmission/>")) << report->ToXml().constData();
}

TEST(OrielResultData, WritesTheSameBytesAsTheXmlStreamWriterItReplaced)
{
    // Markup characters, the quote, controls, non-ASCII, a surrogate pair, an empty frame, an
    // empty block and an empty transmission; the bytes are what the stream writer wrote. What
    // XML cannot carry (controls, noncharacters, lone surrogates, which used to break the
    // document) becomes U+FFFD, and a carriage return a character reference.
    std::unique_ptr<OrielResultData> report(reportWithOneFrame(
        QString::fromUtf8("CQ <&>\"'\t\n\x7f \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80")));
    DataBlock& block = *report->Transmissions().front()->DataBlocks().front();
    block.BeginFrame();
    block.SetTimeStamp(1700000000500000ULL);
    block.BeginFrame();
    block.SetTimeStamp(1700000001000000ULL);
    block.AppendData(QStringLiteral("A\x01\x1f\rB") + QChar(0xDC00) + QChar(0xD800) +
                     QStringLiteral("B") + QChar(0xFFFE) + QChar(0xFFFF));
    auto* transmission = new Transmission;
    report->AddTransmission(transmission);
    transmission->AddDataBlock(new DataBlock(1, 2, 3));
    report->AddTransmission(new Transmission);
    EXPECT_EQ(report->ToXml().toStdString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OrielResultData>\n"
              "    <Transmission start=\"2023-11-14T22:13:20.123Z\" "
              "stop=\"2023-11-14T22:13:25.000Z\">\n"
              "        <DataBlock a=\"-1\" b=\"0\" c=\"0\">\n"
              "            <Frame timestamp=\"1700000000123456\">CQ &lt;&amp;&gt;&quot;'\t\n"
              "\x7f \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80</Frame>\n"
              "            <Frame timestamp=\"1700000000500000\"></Frame>\n"
              "            <Frame timestamp=\"1700000001000000\">A\xef\xbf\xbd\xef\xbf\xbd&#13;B"
              "\xef\xbf\xbd\xef\xbf\xbd"
              "B\xef\xbf\xbd\xef\xbf\xbd</Frame>\n"
              "        </DataBlock>\n    </Transmission>\n    <Transmission>\n"
              "        <DataBlock a=\"1\" b=\"2\" c=\"3\"/>\n    </Transmission>\n"
              "    <Transmission/>\n</OrielResultData>\n");
    EXPECT_EQ(OrielResultData().ToXml(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OrielResultData/>\n");
}
