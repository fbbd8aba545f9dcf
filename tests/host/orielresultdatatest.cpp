#include "host/orielresultdata.h"

#include "reportelements.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <random>

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

/// The report as an XML stream writer lays it out, to hold the direct writing to.
QByteArray streamWriterXml(const OrielResultData& report)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("OrielResultData"));
    const QString format = QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ");
    for (const auto& transmission : report.Transmissions()) {
        xml.writeStartElement(QStringLiteral("Transmission"));
        if (transmission->StartTime().isValid())
            xml.writeAttribute("start", transmission->StartTime().toUTC().toString(format));
        if (transmission->StopTime().isValid())
            xml.writeAttribute("stop", transmission->StopTime().toUTC().toString(format));
        for (const auto& block : transmission->DataBlocks()) {
            xml.writeStartElement(QStringLiteral("DataBlock"));
            xml.writeAttribute("a", QString::number(block->A()));
            xml.writeAttribute("b", QString::number(block->B()));
            xml.writeAttribute("c", QString::number(block->C()));
            for (const DataBlock::Frame& frame : block->Frames()) {
                xml.writeStartElement(QStringLiteral("Frame"));
                xml.writeAttribute("timestamp", QString::number(frame.timestamp));
                // What XML cannot carry was already replaced; a carriage return is a reference.
                const QStringList parts = frame.text.split(QLatin1Char('\r'));
                for (int i = 0; i < parts.size(); ++i) {
                    if (i > 0)
                        xml.writeEntityReference(QStringLiteral("#13"));
                    xml.writeCharacters(parts.at(i));
                }
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return bytes;
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

TEST(OrielResultData, WritesTheLayoutOfAnXmlStreamWriterForAnyText)
{
    // Markup characters, the quote, controls, non-ASCII, surrogate pairs and noncharacters, in
    // random frames of transmissions with and without times, blocks and frames.
    const QChar face[] = {QChar(0xD83D), QChar(0xDE00)};
    const QStringList pieces = {"A",
                                " ",
                                "<",
                                ">",
                                "&",
                                "\"",
                                "'",
                                "\t",
                                "\n",
                                "\x7f",
                                QStringLiteral("\u00E9\u0416\u20AC\uFFFD"),
                                QString(face, 2)};
    std::mt19937 random(7);
    OrielResultData report;
    EXPECT_EQ(report.ToXml(), streamWriterXml(report));
    for (int t = 0; t < 6; ++t) {
        auto* transmission = new Transmission;
        if (t % 3 != 1)
            transmission->SetStartTime(
                QDateTime::fromMSecsSinceEpoch(1700000000123LL + t, Qt::UTC));
        if (t % 3 == 0)
            transmission->SetStopTime(QDateTime::fromMSecsSinceEpoch(1700000009000LL, Qt::UTC));
        report.AddTransmission(transmission);
        for (int b = 0; b < t % 3; ++b) {
            auto* block = new DataBlock(-1, b, 7 * t);
            transmission->AddDataBlock(block);
            for (int f = 0; f < 40 * b; ++f) {
                QString text;
                for (int n = int(random() % 8); n > 0; --n)
                    text += pieces.at(int(random() % uint(pieces.size())));
                block->BeginFrame();
                block->SetTimeStamp(1700000000000000ULL + random());
                block->AppendData(text);
                block->EndFrame();
            }
        }
    }
    // What XML cannot carry goes in as U+FFFD; the reference writer is given it so.
    std::unique_ptr<OrielResultData> special(reportWithOneFrame(
        QStringLiteral("A\x01\rB") + QChar(0xDC00) + QChar(0xFFFE) + QChar(0xD800)));
    const QString replaced = QStringLiteral("A\uFFFD\rB\uFFFD\uFFFD\uFFFD");
    std::unique_ptr<OrielResultData> expected(reportWithOneFrame(replaced));
    EXPECT_EQ(special->ToXml(), streamWriterXml(*expected));
    EXPECT_EQ(report.ToXml(), streamWriterXml(report));
}
