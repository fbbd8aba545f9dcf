#include "tools/morsehandler/mapfilereader.h"
#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/codectextstream.h"

#include <QFile>

namespace morse {

namespace {

char keyCode(const QString& keyText)
{
    bool isNumber = false;
    const int number = keyText.toInt(&isNumber, 0);
    if (isNumber)
        return static_cast<char>(number & 0xFF);
    if (keyText.isEmpty() || keyText.at(0).unicode() > 0xFF)
        return 0;
    return static_cast<char>(keyText.at(0).unicode());
}

ushort valueCode(const QString& valueText)
{
    bool isNumber = false;
    const int number = valueText.toInt(&isNumber, 0);
    if (isNumber && valueText.startsWith(QLatin1String("0x")))
        return static_cast<ushort>(number & 0xFFFF);
    if (valueText.isEmpty())
        return 0x20;
    return valueText.at(0).unicode();
}

void applyBodyLine(const QString& line, QMap<char, ushort>& table)
{
    if (line.startsWith(QLatin1Char('#')))
        return;
    const int firstTab = line.indexOf(QLatin1Char('\t'));
    const QString keyText = firstTab < 0 ? line : line.left(firstTab);
    QString valueText;
    if (firstTab >= 0) {
        const int secondTab = line.indexOf(QLatin1Char('\t'), firstTab + 1);
        valueText = line.mid(firstTab + 1, secondTab < 0 ? -1 : secondTab - firstTab - 1);
    }
    table.insert(keyCode(keyText), valueCode(valueText));
}

} // namespace

bool MapFileReader::Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return Read(file, table, rightToLeft);
}

bool MapFileReader::Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft)
{
    CodecTextStream stream(&device);

    QString line;
    bool haveBodyLine = false;
    while (stream.readLineInto(&line)) {
        QString name, value;
        if (!AlphabetFileReader::ParseDirective(line, &name, &value)) {
            haveBodyLine = true;
            break;
        }
        rightToLeft = name == QLatin1String("TextDirection") && value == QLatin1String("RL");
    }
    while (haveBodyLine) {
        applyBodyLine(line, table);
        haveBodyLine = stream.readLineInto(&line);
    }
    return true;
}

} // namespace morse
