#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/codectextstream.h"
#include "tools/morsehandler/readfindinglog.h"

#include <QFile>
#include <QRegExp>

namespace morse {

namespace {

char codeOf(QChar c)
{
    return c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : 0;
}

/// Whether a line that is not "C;VALUE" still looks meant as one (a ';' among its first
/// characters, or a "0x" number); other lines are notes, as the title line is, and are skipped
/// without a finding.
bool looksLikeMapping(const QString& line)
{
    const int semicolon = line.indexOf(QLatin1Char(';'));
    return (semicolon >= 0 && semicolon <= 3) || line.contains(QLatin1String("0x"));
}

/// Adds the entry @p code -> @p value, telling when it replaces an earlier one.
void insertEntry(QMap<char, ushort>& table, QChar character, ushort value, int lineNumber,
                 ReadFindingLog& log)
{
    const char code = codeOf(character);
    if (code == 0 && character.unicode() != 0)
        log.Add(lineNumber, QStringLiteral("character U+%1 is beyond Latin-1: read as code 0")
                                .arg(character.unicode(), 4, 16, QLatin1Char('0')));
    if (table.contains(code))
        log.Add(lineNumber, QStringLiteral("code 0x%1 again: replaces an earlier entry")
                                .arg(static_cast<uchar>(code), 2, 16, QLatin1Char('0')));
    table.insert(code, value);
}

/// Applies one "C;0xHHHH" line, or tells why it was skipped.
void applyMappingLine(const QRegExp& mapping, int lineNumber, QMap<char, ushort>& table,
                      ReadFindingLog& log)
{
    const QString valueText = mapping.cap(2);
    bool isNumber = false;
    const int number = valueText.toInt(&isNumber, 16);
    if (isNumber && valueText.startsWith(QLatin1String("0x"))) {
        const ushort value = static_cast<ushort>(number & 0xFFFF);
        if (number != value)
            log.Add(lineNumber, QStringLiteral("value %1 keeps only its low 16 bits: 0x%2")
                                    .arg(valueText)
                                    .arg(value, 4, 16, QLatin1Char('0')));
        if (value != 0)
            insertEntry(table, mapping.cap(1).at(0), value, lineNumber, log);
        else
            log.Add(lineNumber, QStringLiteral("value 0 maps nothing: skipped"));
    } else if (valueText.isEmpty()) {
        insertEntry(table, mapping.cap(1).at(0), 0x20, lineNumber, log);
    } else {
        log.Add(lineNumber, QStringLiteral("value \"%1\" is not 0xHHHH: skipped").arg(valueText));
    }
}

} // namespace

bool CodecFileReader::Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft)
{
    return Read(path, table, rightToLeft, nullptr);
}

bool CodecFileReader::Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft)
{
    return Read(device, table, rightToLeft, nullptr);
}

bool CodecFileReader::Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft,
                           ReadFindings* findings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return Read(file, table, rightToLeft, findings);
}

bool CodecFileReader::Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft,
                           ReadFindings* findings)
{
    ReadFindingLog log("CodecFileReader", device, findings);
    CodecTextStream stream(&device);

    QString line;
    if (!stream.readLineInto(&line))
        return true; // line 1 is ignored
    log.AddUndecodable(1, line);
    if (!stream.readLineInto(&line))
        return true;
    log.AddUndecodable(2, line);
    if (line.startsWith(QLatin1String("RL")))
        rightToLeft = true;
    else if (!line.startsWith(QLatin1String("LR")))
        log.Add(2, QStringLiteral("direction line \"%1\" is neither RL nor LR: the direction stays "
                                  "as it was")
                       .arg(line.left(40)));

    QRegExp mapping(QStringLiteral("(.);(.*)"));
    int lineNumber = 2;
    while (stream.readLineInto(&line)) {
        ++lineNumber;
        log.AddUndecodable(lineNumber, line);
        if (mapping.exactMatch(line))
            applyMappingLine(mapping, lineNumber, table, log);
        else if (looksLikeMapping(line))
            log.Add(lineNumber, QStringLiteral("not of the form C;0xHHHH: skipped"));
    }
    return true;
}

} // namespace morse
