#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/readfindinglog.h"

#include <QRegExp>
#include <QTextStream>

namespace morse {

namespace {

/// Tells what is unusual about an entry line that has a text.
void noteEntry(const QString& line, int lineNumber, int firstTab, const QString& text,
               const QMap<QString, QString>& map, ReadFindingLog& log)
{
    // What follows a second TAB is a note, as the format allows: not a finding.
    if (firstTab < 0)
        log.Add(lineNumber, QStringLiteral("no TAB: the whole line is the text, with no code"));
    if (AlphabetFileReader::ParseDirective(line, nullptr, nullptr))
        log.Add(lineNumber,
                QStringLiteral("a directive after the first entry is read as an entry"));
    if (map.contains(text))
        log.Add(lineNumber,
                QStringLiteral("\"%1\" again: replaces the code of an earlier line").arg(text));
}

} // namespace

bool AlphabetFileReader::ParseDirective(const QString& line, QString* name, QString* value)
{
    if (!line.startsWith(QLatin1Char('@')))
        return false; // cheap test before the expression
    QRegExp directive(QStringLiteral("@\\s*(\\w+)\\s+(\\w+).*"));
    if (!directive.exactMatch(line))
        return false;
    if (name)
        *name = directive.cap(1);
    if (value)
        *value = directive.cap(2);
    return true;
}

bool AlphabetFileReader::ApplyDirective(const QString& line, int lineNumber, bool& rightToLeft,
                                        ReadFindingLog& log)
{
    QString name, value;
    if (!ParseDirective(line, &name, &value))
        return false;
    const bool isDirection = name == QLatin1String("TextDirection");
    rightToLeft = isDirection && value == QLatin1String("RL");
    if (!isDirection)
        log.Add(lineNumber, QStringLiteral("unknown directive \"%1\": the text direction becomes "
                                           "left-to-right")
                                .arg(name));
    else if (value != QLatin1String("RL") && value != QLatin1String("LR"))
        log.Add(lineNumber,
                QStringLiteral("text direction \"%1\" is read as left-to-right").arg(value));
    return true;
}

void AlphabetFileReader::Read(QIODevice& device, QMap<QString, QString>& map, bool& rightToLeft)
{
    Read(device, map, rightToLeft, nullptr);
}

void AlphabetFileReader::Read(QIODevice& device, QMap<QString, QString>& map, bool& rightToLeft,
                              ReadFindings* findings)
{
    ReadFindingLog log("AlphabetFileReader", device, findings);
    map.clear();
    rightToLeft = false;

    QTextStream stream(&device);
    stream.setCodec("UTF-8");

    // Directive section: the last directive line decides the direction.
    QString line;
    int lineNumber = 0;
    bool haveEntryLine = false;
    while (stream.readLineInto(&line)) {
        ++lineNumber;
        log.AddUndecodable(lineNumber, line);
        if (!ApplyDirective(line, lineNumber, rightToLeft, log)) {
            haveEntryLine = true;
            break;
        }
    }

    // Entry section: text TAB code [TAB anything]; lines with an empty text are skipped.
    bool checked = true; // the first entry line was checked for bad bytes above
    while (haveEntryLine) {
        if (!checked)
            log.AddUndecodable(lineNumber, line);
        const int firstTab = line.indexOf(QLatin1Char('\t'));
        const QString text = firstTab < 0 ? line : line.left(firstTab);
        if (!text.isEmpty()) {
            QString code;
            const int secondTab = firstTab < 0 ? -1 : line.indexOf(QLatin1Char('\t'), firstTab + 1);
            if (firstTab >= 0)
                code = line.mid(firstTab + 1, secondTab < 0 ? -1 : secondTab - firstTab - 1);
            noteEntry(line, lineNumber, firstTab, text, map, log);
            map.insert(text, code);
        } else if (!line.trimmed().isEmpty()) {
            log.Add(lineNumber, QStringLiteral("no text before the TAB: skipped"));
        }
        haveEntryLine = stream.readLineInto(&line);
        ++lineNumber;
        checked = false;
    }
}

} // namespace morse
