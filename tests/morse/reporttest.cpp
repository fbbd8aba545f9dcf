#include "receptionfixture.h"

#include "host/orielresultdata.h"
#include "tools/morsehandler/orielresultdatahandler.h"

#include <QXmlStreamReader>

namespace {

struct ReadBack
{
    QStringList spans;  // "start stop" of each transmission
    QStringList frames; // "timestamp:text" of each frame
};

ReadBack readReport(const QString& path)
{
    ReadBack report;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return report;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("Transmission"))
            report.spans << attributes.value(QStringLiteral("start")).toString() +
                                QLatin1Char(' ') +
                                attributes.value(QStringLiteral("stop")).toString();
        else if (xml.name() == QLatin1String("Frame"))
            report.frames << attributes.value(QStringLiteral("timestamp")).toString() +
                                 QLatin1Char(':') + xml.readElementText();
    }
    return report;
}

} // namespace

TEST(ReportLifeCycle, FirstTimestampStartsTheTransmissionAndAnnouncesItOnce)
{
    morse::Clock::setFrozen(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC));
    OrielResultDataHandler report(nullptr, QStringLiteral("ORIEL"));
    QStringList announced;
    int requests = 0;
    QObject::connect(&report, &OrielResultDataHandler::SetFilename,
                     [&](const QString& name) { announced << name; });
    QObject::connect(&report, &OrielResultDataHandler::GetXmlTunerDemodulatorSettings,
                     [&] { ++requests; });
    report.AppendText(QStringLiteral("before any time")); // no transmission: dropped
    report.UpdateTimestamp(999999);
    report.AppendText(QStringLiteral("A"));
    report.UpdateTimestamp(20000000);
    report.AppendText(QStringLiteral(" "));

    const auto& transmissions = report.Report().Transmissions();
    ASSERT_EQ(transmissions.size(), 1u);
    EXPECT_EQ(transmissions[0]->StartTime(),
              QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0, 999), Qt::UTC));
    EXPECT_EQ(transmissions[0]->StopTime(), QDateTime(QDate(1970, 1, 1), QTime(0, 0, 20), Qt::UTC));
    const auto& frames = transmissions[0]->DataBlocks().at(0)->Frames();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[0].timestamp, 999999u);
    EXPECT_EQ(frames[1].timestamp, 20000000u);
    const QString expectedName =
        QStringLiteral("/OrielResultData_") +
        morse::Clock::currentDateTime().toString(QStringLiteral("yyyy_MM_dd__hh_mm_ss")) +
        QStringLiteral(".xml");
    EXPECT_EQ(announced, QStringList({expectedName}));
    EXPECT_EQ(requests, 1);
    morse::Clock::setFrozen(QDateTime());
}

using ReportFile = ReceptionTest;

TEST_F(ReportFile, SavedReportReadsBackAndTheNextOneNeverReplacesIt)
{
    QTemporaryDir dir;
    add<values::Value<bool>>(QStringLiteral("/Morse/XmlSave"));
    startSaving(dir.path());
    handler->SetMorseXmlSaveToFile_ValuePath(QStringLiteral("/Morse/XmlSave"));
    auto* xmlSave = dynamic_cast<values::Value<bool>*>(
        values::Tree::Instance()->FindValue(QStringLiteral("/Morse/XmlSave")));

    handler->SetTimestamp(1700000000123456ULL);
    send({0, 1, 3});
    handler->SetTimestamp(1700000005000000ULL);
    send({4});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    const QString firstName = valueOf(QStringLiteral("/Morse/XmlFile"));
    ASSERT_TRUE(firstName.startsWith(dir.path() + QStringLiteral("/OrielResultData_")));
    const ReadBack first = readReport(firstName);
    EXPECT_EQ(first.spans, QStringList({"2023-11-14T22:13:20.123Z 2023-11-14T22:13:25.000Z"}));
    EXPECT_EQ(first.frames, QStringList({"1700000000123456:A", "1700000005000000: "}));

    handler->SetTimestamp(1700000010000000ULL); // same second on the clock: same name
    send({1, 3});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    const QString secondName = valueOf(QStringLiteral("/Morse/XmlFile"));
    EXPECT_EQ(secondName,
              QString(firstName).replace(QStringLiteral(".xml"), QStringLiteral("_2.xml")));
    EXPECT_EQ(readReport(firstName).frames, first.frames);
    EXPECT_EQ(readReport(secondName).frames, QStringList({"1700000010000000:T"}));
}
