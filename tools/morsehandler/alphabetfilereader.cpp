#include "tools/morsehandler/alphabetfilereader.h"

#include <QRegExp>
#include <QTextStream>

namespace morse {

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

void AlphabetFileReader::Read(QIODevice& device, QMap<QString, QString>& map, bool& rightToLeft)
{
    map.clear();
    rightToLeft = false;

    QTextStream stream(&device);
    stream.setCodec("UTF-8");

    // Directive section: the last directive line decides the direction.
    QString line;
    bool haveEntryLine = false;
    while (stream.readLineInto(&line)) {
        QString name, value;
        if (!ParseDirective(line, &name, &value)) {
            haveEntryLine = true;
            break;
        }
        rightToLeft = name == QLatin1String("TextDirection") && value == QLatin1String("RL");
    }

    // Entry section: text TAB code [TAB anything]; lines with an empty text are skipped.
    while (haveEntryLine) {
        const int firstTab = line.indexOf(QLatin1Char('\t'));
        const QString text = firstTab < 0 ? line : line.left(firstTab);
        if (!text.isEmpty()) {
            QString code;
            if (firstTab >= 0) {
                const int secondTab = line.indexOf(QLatin1Char('\t'), firstTab + 1);
                code = line.mid(firstTab + 1, secondTab < 0 ? -1 : secondTab - firstTab - 1);
            }
            map.insert(text, code);
        }
        haveEntryLine = stream.readLineInto(&line);
    }
}

} // namespace morse
