#pragma once

#include "tools/morsehandler/readfinding.h"

#include <QIODevice>
#include <QMap>
#include <QString>

namespace morse {

class ReadFindingLog;

/// Reads a Morse alphabet file (".mal"): UTF-8 text with optional directive lines at the top
/// ("@TextDirection RL" marks right-to-left text) and then one entry per line, text TAB code.
/// Every class that loads alphabets reads them through here.
class AlphabetFileReader
{
public:
    /// Replaces @p map (text to code) and @p rightToLeft with what @p device holds. The device
    /// is open for reading; the caller closes it. A last line without a line feed is applied.
    static void Read(QIODevice& device, QMap<QString, QString>& map, bool& rightToLeft);
    /// The same, and appends to @p findings (when not null) every line skipped or taken in an
    /// unusual way; each finding is traced as well.
    static void Read(QIODevice& device, QMap<QString, QString>& map, bool& rightToLeft,
                     ReadFindings* findings);

    /// Whether @p line is a directive line; if so, its name and value.
    static bool ParseDirective(const QString& line, QString* name, QString* value);
    /// Applies @p line as a directive of the top section (line number @p lineNumber): the last
    /// directive decides @p rightToLeft. False, with nothing changed, when it is no directive.
    static bool ApplyDirective(const QString& line, int lineNumber, bool& rightToLeft,
                               ReadFindingLog& log);
};

} // namespace morse
