#pragma once

// Checks shared by the codec and map file fuzzers: whatever a reader produced, a table holds at
// most 256 entries and translating through it, both ways, keeps the length of the text.

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
