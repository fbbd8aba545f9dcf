// Feeds arbitrary bytes to the map file reader, then translates through what it read.

#include "tools/morsehandler/mapfilereader.h"

#include "codectablecheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    checkCodecTable(readCodecTable<morse::MapFileReader>(data, size));
    return 0;
}
