#pragma once

#include "shared/source/decodermodule.h"
#include "tools/morsehandler/readfinding.h"

#include <QByteArray>
#include <QIODevice>

#include <vector>

namespace LanternIT {

/// Reads and writes the lines of the decoder modules file. A line is accepted when it holds,
/// somewhere, a number, a number, one word character, 26 single digits, one word character and
/// a word, separated by white space; its fields are then cut at every run of white space from
/// the start of the line. The catalogue loads and saves through here, and so can a caller that
/// holds the text in memory.
class DecoderModulesFileParser
{
public:
    /// Appends a record for every accepted line of @p device, read to its end, in file order.
    /// The device is open for reading; the caller closes it.
    static void Read(QIODevice& device, std::vector<DecoderModule>& modules);
    /// The same, appending to @p findings (when not null) every line skipped or taken in an
    /// unusual way; each finding is traced as well.
    static void Read(QIODevice& device, std::vector<DecoderModule>& modules,
                     morse::ReadFindings* findings);
    /// The record of one raw line (UTF-8 up to its first zero byte); false, with @p module
    /// untouched, when the line is not accepted.
    static bool ParseLine(const QByteArray& rawLine, DecoderModule& module);
    /// The line that saving writes for @p module, line feed included. Whole numbers keep a
    /// whole-number form, so that a saved record reads back the same.
    static QByteArray FormatLine(const DecoderModule& module);
};

} // namespace LanternIT
