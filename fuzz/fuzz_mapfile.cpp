// Feeds arbitrary bytes to the map file reader, then translates through what it read.

#include "tools/morsehandler/mapfilereader.h"

#include "codectablecheck.h"

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

    checkCodecTable(table);
    return 0;
}
