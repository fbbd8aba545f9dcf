#include "tools/morsehandler/mapfilereader.h"
#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/codectextstream.h"
#include "tools/morsehandler/readfindinglog.h"

#include <QFile>

namespace morse {

namespace {

QString hex(int value, int digits)
{
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

char keyCode(const QString& keyText, int lineNumber, ReadFindingLog& log)
{
    bool isNumber = false;
    const int number = keyText.toInt(&isNumber, 0);
    if (isNumber) {
        if (number < 0 || number > 0xFF)
            log.Add(lineNumber, QStringLiteral("key %1 is beyond 0xFF: read as %2")
                                    .arg(keyText, hex(number & 0xFF, 2)));
        return static_cast<char>(number & 0xFF);
    }
    if (keyText.isEmpty()) {
        log.Add(lineNumber, QStringLiteral("no key: read as code 0"));
        return 0;
    }
    if (keyText.at(0).unicode() > 0xFF) {
        log.Add(lineNumber,
                QStringLiteral("key \"%1\" is beyond Latin-1: read as code 0").arg(keyText));
        return 0;
    }
    if (keyText.size() > 1)
        log.Add(lineNumber, QStringLiteral("key \"%1\" is not a number: its first character is "
                                           "the key")
                                .arg(keyText));
    return static_cast<char>(keyText.at(0).unicode());
}

ushort valueCode(const QString& valueText, int lineNumber, ReadFindingLog& log)
{
    bool isNumber = false;
    const int number = valueText.toInt(&isNumber, 0);
    if (isNumber && valueText.startsWith(QLatin1String("0x"))) {
        if (number > 0xFFFF)
            log.Add(lineNumber, QStringLiteral("value %1 keeps only its low 16 bits: %2")
                                    .arg(valueText, hex(number & 0xFFFF, 4)));
        return static_cast<ushort>(number & 0xFFFF);
    }
    if (valueText.isEmpty()) {
        log.Add(lineNumber, QStringLiteral("no value: the key maps to a space"));
        return 0x20;
    }
    if (valueText.size() > 1)
        log.Add(lineNumber, QStringLiteral("value \"%1\" is not 0xHHHH: its first character is "
                                           "the value")
                                .arg(valueText));
    return valueText.at(0).unicode();
}

void applyBodyLine(const QString& line, int lineNumber, QMap<char, ushort>& table,
                   ReadFindingLog& log)
{
    if (line.startsWith(QLatin1Char('#')))
        return;
    const int firstTab = line.indexOf(QLatin1Char('\t'));
    const QString keyText = firstTab < 0 ? line : line.left(firstTab);
    QString valueText;
    if (firstTab < 0) {
        log.Add(lineNumber, QStringLiteral("no TAB between key and value"));
    } else {
        const int secondTab = line.indexOf(QLatin1Char('\t'), firstTab + 1);
        // What follows a second TAB is a note, as the format allows: not a finding.
        valueText = line.mid(firstTab + 1, secondTab < 0 ? -1 : secondTab - firstTab - 1);
    }
    const char key = keyCode(keyText, lineNumber, log);
    const ushort value = valueCode(valueText, lineNumber, log);
    if (table.contains(key))
        log.Add(lineNumber, QStringLiteral("key %1 again: replaces an earlier entry")
                                .arg(hex(static_cast<uchar>(key), 2)));
    table.insert(key, value);
}

} // namespace

bool MapFileReader::Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft)
{
    return Read(path, table, rightToLeft, nullptr);
}

bool MapFileReader::Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft)
{
    return Read(device, table, rightToLeft, nullptr);
}

bool MapFileReader::Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft,
                         ReadFindings* findings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return Read(file, table, rightToLeft, findings);
}

bool MapFileReader::Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft,
                         ReadFindings* findings)
{
    ReadFindingLog log("MapFileReader", device, findings);
    CodecTextStream stream(&device);

    QString line;
    int lineNumber = 0;
    bool haveBodyLine = false;
    while (stream.readLineInto(&line)) {
        ++lineNumber;
        log.AddUndecodable(lineNumber, line);
        if (!AlphabetFileReader::ApplyDirective(line, lineNumber, rightToLeft, log)) {
            haveBodyLine = true;
            break;
        }
    }
    bool checked = true; // the first body line was checked for bad bytes above
    while (haveBodyLine) {
        if (!checked)
            log.AddUndecodable(lineNumber, line);
        applyBodyLine(line, lineNumber, table, log);
        haveBodyLine = stream.readLineInto(&line);
        ++lineNumber;
        checked = false;
    }
    return true;
}

} // namespace morse
