#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/codectextstream.h"

#include <QFile>
#include <QRegExp>

namespace morse {

namespace {

char codeOf(QChar c)
{
    return c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : 0;
}

} // namespace

bool CodecFileReader::Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return Read(file, table, rightToLeft);
}

bool CodecFileReader::Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft)
{
    CodecTextStream stream(&device);

    QString line;
    if (!stream.readLineInto(&line))
        return true; // line 1 is ignored
    if (!stream.readLineInto(&line))
        return true;
    if (line.startsWith(QLatin1String("RL")))
        rightToLeft = true;

    QRegExp mapping(QStringLiteral("(.);(.*)"));
    while (stream.readLineInto(&line)) {
        if (!mapping.exactMatch(line))
            continue;
        const QString valueText = mapping.cap(2);
        bool isNumber = false;
        const int number = valueText.toInt(&isNumber, 16);
        if (isNumber && valueText.startsWith(QLatin1String("0x"))) {
            const ushort value = static_cast<ushort>(number & 0xFFFF);
            if (value != 0)
                table.insert(codeOf(mapping.cap(1).at(0)), value);
        } else if (valueText.isEmpty()) {
            table.insert(codeOf(mapping.cap(1).at(0)), 0x20);
        }
    }
    return true;
}

} // namespace morse
