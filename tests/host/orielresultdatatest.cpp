#include "host/orielresultdata.h"

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

    QFile file(dir.filePath(QStringLiteral("report.xml")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString start, stop, timestamp, text, blockA;
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("Transmission")) {
            start = attributes.value(QStringLiteral("start")).toString();
            stop = attributes.value(QStringLiteral("stop")).toString();
        } else if (xml.name() == QLatin1String("DataBlock")) {
            blockA = attributes.value(QStringLiteral("a")).toString();
        } else if (xml.name() == QLatin1String("Frame")) {
            timestamp = attributes.value(QStringLiteral("timestamp")).toString();
            text = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_EQ(start, QStringLiteral("2023-11-14T22:13:20.123Z"));
    EXPECT_EQ(stop, QStringLiteral("2023-11-14T22:13:25.000Z"));
    EXPECT_EQ(blockA, QStringLiteral("-1"));
    EXPECT_EQ(timestamp, QStringLiteral("1700000000123456"));
    EXPECT_EQ(text, QStringLiteral(" A\n"));
}

TEST(OrielResultData, SaveFailsOnEmptyNameOrUnwritablePlace)
{
    OrielResultData report;
    EXPECT_FALSE(report.SaveFile(QString()));
    EXPECT_FALSE(report.SaveFile(QStringLiteral("/nonexistent-directory/x/report.xml")));
}

TEST(OrielResultData, ResetDropsTransmissionsAndUnsetTimesAreOmitted)
{
    std::unique_ptr<OrielResultData> report(reportWithOneFrame(QStringLiteral("A")));
    report->Reset();
    EXPECT_TRUE(report->Transmissions().empty());
    report->AddTransmission(new Transmission);
    const QByteArray xml = report->ToXml();
    EXPECT_TRUE(xml.contains("<Transmission/>")) << xml.constData();
}
