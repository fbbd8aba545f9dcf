#pragma once

#include "tools/morsehandler/morsehandler_export.h"

#include <QMap>
#include <QString>

#include <array>

namespace morse {

/// One charset map of the mapping directory: the table read from a ".codec", ".ita2.map" or
/// ".ascii.map" file, whether the file could be read, and the text direction it declares.
/// Translation goes through a 256-entry lookup built once from the table, so that translating
/// a text costs one pass over it and one allocation for the result.
class MORSEHANDLER_TESTS_EXPORT CharsetMap
{
public:
    /// An empty map: not valid, left to right, every Latin-1 character maps to itself.
    CharsetMap();

    /// Reads @p strPath with the map-file reader when it ends in ".map", with the codec-file
    /// reader when it ends in ".codec" (both case-sensitive); any other path reads nothing.
    /// Returns, and keeps as the valid flag, whether a file was read.
    bool Load(const QString& strPath);

    bool IsValid() const { return m_bValid; }
    bool TextDirectionRTL() const { return m_bRightToLeft; }
    const QMap<char, ushort>& Table() const { return m_mapTable; }

    /// The code unit that the Latin-1 character @p cCode becomes: its table entry (0 shown as
    /// a space), or the character itself when the table has none.
    ushort Map(uchar cCode) const { return m_aLookup[cCode]; }

    /// @p strText through the map: every character outside Latin-1 first becomes "?", then each
    /// character is replaced by Map(). The length is unchanged; a NUL character is kept.
    QString Translate(const QString& strText) const;

private:
    void buildLookup();

    QMap<char, ushort> m_mapTable;
    bool m_bValid = false;
    bool m_bRightToLeft = false;
    std::array<ushort, 256> m_aLookup;
};

} // namespace morse
