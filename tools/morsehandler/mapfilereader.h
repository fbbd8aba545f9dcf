#pragma once

#include "tools/morsehandler/readfinding.h"

#include <QIODevice>
#include <QMap>
#include <QString>

namespace morse {

/// Reads a charset map file (".ita2.map", ".ascii.map"): directive lines at the top
/// ("@TextDirection RL"), then lines "key TAB value" where the key is a number (0x.., 0.., or
/// decimal) or a character and the value "0xHHHH" or a character; "#" starts a comment line.
/// Shared by the codec handler and the mapping directory.
///
/// Text is UTF-8 unless a byte-order mark says otherwise, on every machine. The file's last
/// line is applied even without a line feed after it.
class MapFileReader
{
public:
    /// Adds the file's entries to @p table and sets @p rightToLeft from the directives;
    /// the table is not cleared first. False, with nothing changed, when @p path cannot be
    /// opened.
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
