#pragma once

// Shared by the codec and map file fuzzers: reading the input with either reader, and checking
// that whatever it produced holds at most 256 entries and that translating through it, both
// ways, keeps the length of the text.

#include "fuzzinput.h"

#include "tools/morsehandler/flatcodectable.h"

#include <QMap>
#include <QString>

inline void checkCodecTable(const QMap<char, ushort>& table)
{
    if (table.size() > 256)
        __builtin_trap();
    morse::FlatCodecTable flat;
    flat.Assign(table);
    static const QString all = [] {
        QString units;
        for (int code = 0; code < 256; ++code)
            units += QChar(static_cast<ushort>(code));
        return units;
    }();
    const QString shown = flat.Translate(all);
    if (shown.size() != all.size() || flat.Backtranslate(shown).size() != all.size())
        __builtin_trap();
}

/// The table @p Reader (CodecFileReader or MapFileReader) reads from the input; a readable
/// device is always read.
template <class Reader> QMap<char, ushort> readCodecTable(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    QMap<char, ushort> table;
    bool rightToLeft = false;
    if (!Reader::Read(input.device(), table, rightToLeft))
        __builtin_trap();
    return table;
}
