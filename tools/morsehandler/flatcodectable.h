#pragma once

#include <QMap>
#include <QString>

#include <array>

namespace morse {

/// A codec table in flat form, rebuilt whenever the codec handler loads a codec, so that
/// translating a text costs one array read per code unit and back-translating one binary search
/// over at most 256 entries, instead of ordered-map walks.
///
/// It gives exactly the results of the rules on the ordered table it was built from: a unit
/// above U+00FF, or one without an entry, stays as it is; a stored value of 0 shows as a space;
/// back-translation takes the first code in the table's order (0x80..0xFF, then 0x00..0x7F)
/// that holds the value, and leaves the unit unchanged when that code is 0.
class FlatCodecTable
{
public:
    FlatCodecTable();

    /// Rebuilds the flat form from @p table.
    void Assign(const QMap<char, ushort>& table);
    /// Forgets every entry: both directions pass text through unchanged.
    void Clear();
    bool IsEmpty() const { return m_bEmpty; }

    /// Decoder codes to display text; one unit out per unit in.
    QString Translate(const QString& text) const;
    /// Display text back to decoder codes; one unit out per unit in.
    QString Backtranslate(const QString& text) const;

private:
    struct ReverseEntry
    {
        ushort nValue;  ///< a value stored in the table
        ushort nOutput; ///< what back-translation writes for it
    };

    std::array<ushort, 256> m_arrForward;       ///< output unit for each 8-bit code
    std::array<ReverseEntry, 256> m_arrReverse; ///< sorted by value, one entry per value
    int m_nReverseCount;
    bool m_bEmpty;
};

} // namespace morse
