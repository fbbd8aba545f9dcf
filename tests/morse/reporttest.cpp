#include "receptionfixture.h"

#include "tools/morsehandler/orielresultdatahandler.h"

#include <QXmlStreamReader>

namespace {

/// "start stop" of each transmission and "timestamp:text" of each frame in a saved report.
QStringList readReport(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QXmlStreamReader xml(&file);
    QStringList items;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attribute = [&](const char* name) {
            return xml.attributes().value(QLatin1String(name)).toString();
        };
        if (xml.name() == QLatin1String("Transmission")) {
            items << attribute("start") + ' ' + attribute("stop");
        } else if (xml.name() == QLatin1String("Frame")) {
            const QString timestamp = attribute("timestamp"); // reading the text moves past it
            items << timestamp + ':' + xml.readElementText();
        }
    }
    return items;
}

} // namespace

/// Saving into a temporary directory, with the value that asks for the report bound.
class ReportFile : public ReceptionTest
{
protected:
    void SetUp() override
    {
        ReceptionTest::SetUp();
        startSaving(dir.path());
        xmlSave =
            bind<values::Value<bool>>("XmlSave", &MorseHandler::SetMorseXmlSaveToFile_ValuePath);
    }
    QTemporaryDir dir;
    values::Value<bool>* xmlSave = nullptr;
};

TEST_F(ReportFile, ReportSpansTheFirstToTheLastTimestampAndTheNextNeverReplacesIt)
{
    send({1, 3}); // before any timestamp: no transmission to take it
    handler->SetTimestamp(1700000000123956ULL);
    send({0, 1, 3});
    handler->SetTimestamp(1700000005000000ULL);
    send({4});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    const QString firstName = valueOf(QStringLiteral("/Morse/XmlFile"));
    ASSERT_TRUE(firstName.startsWith(dir.path() + QStringLiteral("/OrielResultData_")));
    const QStringList first = {"2023-11-14T22:13:20.123Z 2023-11-14T22:13:25.000Z",
                               "1700000000123956:A", "1700000005000000: "};
    EXPECT_EQ(readReport(firstName), first);

    handler->SetTimestamp(1700000010000000ULL); // same second on the clock: same name
    send({1, 3});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    const QString secondName = valueOf(QStringLiteral("/Morse/XmlFile"));
    EXPECT_EQ(secondName,
              QString(firstName).replace(QStringLiteral(".xml"), QStringLiteral("_2.xml")));
    EXPECT_EQ(readReport(firstName), first);
    EXPECT_EQ(readReport(secondName).mid(1), QStringList({"1700000010000000:T"}));
}

TEST_F(ReportFile, SaveDirectoryWrittenWithBackslashesHoldsTheSessionFilesAndTheReport)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a/b")));
    startSaving(dir.path() + QStringLiteral("\\a\\b"));
    handler->SetTimestamp(1700000000000000ULL);
    send({0, 1, 3});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);

    const QDir saved(dir.filePath(QStringLiteral("a/b")));
    const QStringList files = saved.entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 3) << qPrintable(files.join(QLatin1Char(' ')));
    EXPECT_EQ(contentOf(saved.filePath(files.at(0))), ".- "); // the code file
    EXPECT_EQ(contentOf(saved.filePath(files.at(1))), "A");   // the text file
    ASSERT_TRUE(files.at(2).startsWith(QStringLiteral("OrielResultData_")));
    EXPECT_EQ(readReport(saved.filePath(files.at(2))).mid(1), QStringList({"1700000000000000:A"}));
}

TEST_F(ReportFile, ReportSavesItselfAtTheFrameLimitAndGoesOnInANewTransmission)
{
    handler->SetTimestamp(1700000000000000ULL);
    const int nCharacters = OrielResultDataHandler::FRAME_LIMIT + 5;
    for (int i = 0; i < nCharacters; ++i)
        send({0, 3});
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr);
    // Two reports, the first full, the second with the rest: no frame is lost or repeated.
    const QStringList reports =
        QDir(dir.path()).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name);
    ASSERT_EQ(reports.size(), 2);
    const QStringList first = readReport(dir.filePath(reports.at(0)));
    const QStringList second = readReport(dir.filePath(reports.at(1)));
    EXPECT_EQ(first.size() - 1, OrielResultDataHandler::FRAME_LIMIT);
    EXPECT_EQ(second.size() - 1, 5);
    EXPECT_EQ(second.last(), QStringLiteral("1700000000000000:E"));
}

TEST_F(ReportFile, ReportWhileSavingIsOffDropsFramesBeyondTheLimitBehindAMarker)
{
    find<values::Value<bool>>(QStringLiteral("/Morse/Save"))->SetValue(false, nullptr);
    handler->SetTimestamp(1700000000000000ULL);
    for (int i = 0; i < OrielResultDataHandler::FRAME_LIMIT + 5; ++i)
        send({0, 3});
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.xml")}, QDir::Files).isEmpty());
    xmlSave->HasChanged(CHANGE_TRIGGER, nullptr); // the host may still ask for it
    const QStringList frames = readReport(valueOf(QStringLiteral("/Morse/XmlFile"))).mid(1);
    ASSERT_EQ(frames.size(), 6);
    EXPECT_TRUE(
        frames.first().startsWith(QStringLiteral("1700000000000000:[LOST 20000 CHARACTERS")))
        << frames.first().toStdString();
}
