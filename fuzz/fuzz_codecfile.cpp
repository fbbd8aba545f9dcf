// Feeds arbitrary bytes to the codec file reader, then translates through what it read.

#include "tools/morsehandler/codecfilereader.h"

#include "codectablecheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QMap<char, ushort> table = readCodecTable<morse::CodecFileReader>(data, size);
    // A codec file never stores a zero entry (such a line is skipped).
    for (const ushort value : table) {
        if (value == 0)
            __builtin_trap();
    }
    checkCodecTable(table);
    return 0;
}
