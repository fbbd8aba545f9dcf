// Feeds arbitrary bytes to the map file reader, then translates through what it read.

#include "tools/morsehandler/flatcodectable.h"
#include "tools/morsehandler/mapfilereader.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    QBuffer device(&bytes);
    if (!device.open(QIODevice::ReadOnly))
        return 0;
    QMap<char, ushort> table;
    bool rightToLeft = false;
    if (!morse::MapFileReader::Read(device, table, rightToLeft))
        __builtin_trap(); // a readable device is always read

    // Keys are 8-bit codes, so a map never holds more than 256 entries.
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
    return 0;
}
