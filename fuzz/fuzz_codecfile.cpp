// Feeds arbitrary bytes to the codec file reader, then translates through what it read.

#include "tools/morsehandler/codecfilereader.h"

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
    if (!morse::CodecFileReader::Read(device, table, rightToLeft))
        __builtin_trap(); // a readable device is always read

    // A codec file never stores a zero entry (such a line is skipped).
    for (const ushort value : qAsConst(table)) {
        if (value == 0)
            __builtin_trap();
    }

    checkCodecTable(table);
    return 0;
}
