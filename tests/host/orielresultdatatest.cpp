#include "host/orielresultdata.h"

#include "reportelements.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

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

TEST(OrielResultData, SavedFileReadsBackWithTimesAndExactFrameText)
{
    QTemporaryDir dir;
    std::unique_ptr<OrielResultData> report(reportWithOneFrame(QStringLiteral(" A\n")));
    report->SetWorkDir(dir.path());
    ASSERT_TRUE(report->SaveFile(QStringLiteral("report.xml")));

    QString error;
    QStringList items; // the attributes and text that matter, in document order
    for (const auto& element : ReportElements(dir.filePath(QStringLiteral("report.xml")), &error))
        items << element.second;
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
    EXPECT_EQ(items, QStringList({"2023-11-14T22:13:20.123Z", "2023-11-14T22:13:25.000Z", "-1",
                                  "1700000000123456", " A\n"}));
}

TEST(OrielResultData, FrameTextThatXmlCannotCarryStillGivesAWellFormedReport)
{
    // A lone surrogate used to break the document; control characters were dropped and a
    // carriage return came back as a line feed.
    const QChar face[] = {QChar(0xD83D), QChar(0xDE00)};
    const struct
    {
        QString text;
        QString readBack;
    } cases[] = {
        {QStringLiteral("A\r\nB\r"), QStringLiteral("A\r\nB\r")},
        {QStringLiteral("A\x01\x1f\tB"), QStringLiteral("A\uFFFD\uFFFD\tB")},
        {QStringLiteral("A") + QChar(0xD800) + QStringLiteral("B") + QChar(0xDC00),
         QStringLiteral("A\uFFFDB\uFFFD")},
        {QString(face, 2) + QChar(0xFFFE) + QChar(0xFFFF), QString(face, 2) + "\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<OrielResultData> report(reportWithOneFrame(c.text));
        QXmlStreamReader xml(report->ToXml());
        QString text;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == "Frame")
                text = xml.readElementText();
        }
        EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
        EXPECT_EQ(text, c.readBack);
    }
}

TEST(OrielResultData, SaveFailsOnEmptyNameOrUnwritablePlaceAndResetDropsTransmissions)
{
    std::unique_ptr<OrielResultData> report(reportWithOneFrame(QStringLiteral("A")));
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
    // empty block and an empty transmission; the bytes are what the stream writer wrote.
    std::unique_ptr<OrielResultData> report(reportWithOneFrame(
        QString::fromUtf8("CQ <&>\"'\t\n\x7f \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80")));
    DataBlock& block = *report->Transmissions().front()->DataBlocks().front();
    block.BeginFrame();
    block.SetTimeStamp(1700000000500000ULL);
    block.BeginFrame();
    block.SetTimeStamp(1700000001000000ULL);
    block.AppendData(QStringLiteral("A\x01\rB") + QChar(0xDC00) + QChar(0xFFFE));
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
              "            <Frame timestamp=\"1700000001000000\">A\xef\xbf\xbd&#13;B"
              "\xef\xbf\xbd\xef\xbf\xbd</Frame>\n"
              "        </DataBlock>\n    </Transmission>\n    <Transmission>\n"
              "        <DataBlock a=\"1\" b=\"2\" c=\"3\"/>\n    </Transmission>\n"
              "    <Transmission/>\n</OrielResultData>\n");
    EXPECT_EQ(OrielResultData().ToXml(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<OrielResultData/>\n");
}
