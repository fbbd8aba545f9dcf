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
    QStringList items; // the attributes and text that matter, in document order
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto attribute = [&](const char* name) {
            return attributes.value(QLatin1String(name)).toString();
        };
        if (xml.name() == QLatin1String("Transmission"))
            items << attribute("start") << attribute("stop");
        else if (xml.name() == QLatin1String("DataBlock"))
            items << attribute("a");
        else if (xml.name() == QLatin1String("Frame"))
            items << attribute("timestamp") << xml.readElementText();
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_EQ(items, QStringList({"2023-11-14T22:13:20.123Z", "2023-11-14T22:13:25.000Z", "-1",
                                  "1700000000123456", " A\n"}));
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
