#pragma once

#include "tools/morsehandler/readfinding.h"

#include <QIODevice>
#include <QMap>
#include <QString>

namespace morse {

/// Reads an ITA2 codec file (".codec"): line 1 ignored, line 2 the direction ("RL..." sets
/// right-to-left), then lines "C;0xHHHH" mapping the character C to a UTF-16 code unit
/// ("C;" maps to a space). Shared by the codec handler and the mapping directory.
///
/// Text is UTF-8 unless a byte-order mark says otherwise, on every machine.
class CodecFileReader
{
public:
    /// Adds the file's entries to @p table and sets @p rightToLeft if the file says so; neither
    /// is cleared first. False, with nothing changed, when @p path cannot be opened.
    static bool Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft);
    /// The same for a device open for reading, from its current position to its end; the
    /// caller closes it. Always true: whatever the device holds, the readable lines count.
    static bool Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft);
    /// Either reading, appending to @p findings (when not null) every line skipped or taken in
    /// an unusual way; each finding is traced as well.
    static bool Read(const QString& path, QMap<char, ushort>& table, bool& rightToLeft,
                     ReadFindings* findings);
    static bool Read(QIODevice& device, QMap<char, ushort>& table, bool& rightToLeft,
                     ReadFindings* findings);
};

} // namespace morse
