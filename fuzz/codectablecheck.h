#pragma once

// Shared by the codec and map file fuzzers: reading the input with either reader, and checking
// that whatever it produced holds at most 256 entries and that translating through it, both
// ways, keeps the length of the text.

#include "fuzzinput.h"

#include "tools/morsehandler/flatcodectable.h"
#include "tools/morsehandler/readfinding.h"

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

/// Traps unless @p findings name lines of the input in file order.
inline void checkFindings(const morse::ReadFindings& findings, const QByteArray& bytes)
{
    const int lines = bytes.count('\n') + bytes.count('\r') + 1;
    int previous = 0;
    for (const morse::ReadFinding& finding : findings) {
        if (finding.line < previous || finding.line < 1 || finding.line > lines ||
            finding.reason.isEmpty())
            __builtin_trap();
        previous = finding.line;
    }
}

/// The table @p Reader (CodecFileReader or MapFileReader) reads from the input; a readable
/// device is always read, and reading it with findings gives the same table.
template <class Reader> QMap<char, ushort> readCodecTable(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    QMap<char, ushort> table;
    bool rightToLeft = false;
    if (!Reader::Read(input.device(), table, rightToLeft))
        __builtin_trap();
    FuzzInput again(data, size);
    QMap<char, ushort> tableAgain;
    bool rightToLeftAgain = false;
    morse::ReadFindings findings;
    if (!Reader::Read(again.device(), tableAgain, rightToLeftAgain, &findings) ||
        tableAgain != table || rightToLeftAgain != rightToLeft)
        __builtin_trap();
    checkFindings(findings, input.bytes());
    return table;
}
