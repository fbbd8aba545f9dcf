#pragma once

#include "tools/morsehandler/flatcodectable.h"

#include <QMap>
#include <QString>

namespace morse {

/// One charset map of the mapping directory: the table read from a ".codec", ".ita2.map" or
/// ".ascii.map" file, whether the file could be read, and the text direction it declares.
/// Translation goes through the flat form of the table, built once when the file is read. An
/// empty map (not valid, left to right) maps every Latin-1 character to itself.
class CharsetMap
{
public:
    /// Reads @p strPath with the map-file reader when it ends in ".map", with the codec-file
    /// reader when it ends in ".codec" (both case-sensitive); any other path reads nothing.
    /// Returns, and keeps as the valid flag, whether a file was read.
    bool Load(const QString& strPath);

    /// Whether the last Load read a file.
    bool IsValid() const { return m_bValid; }
    bool TextDirectionRTL() const { return m_bRightToLeft; }
    const QMap<char, ushort>& Table() const { return m_mapTable; }

    /// @p strText through the map: every character outside Latin-1 first becomes "?", then each
    /// character becomes its table entry (0 shown as a space), or stays as it is when the table
    /// has none. The length is unchanged; a NUL character is kept.
    QString Translate(const QString& strText) const;

private:
    QMap<char, ushort> m_mapTable;
    FlatCodecTable m_flatTable;
    bool m_bValid = false;
    bool m_bRightToLeft = false;
};

} // namespace morse
