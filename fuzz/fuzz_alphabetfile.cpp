// Feeds arbitrary bytes to the .mal reader: binary garbage, invalid UTF-8, huge lines and lines
// without tabs must read without crashing or hanging, and give a map the file can account for.

#include "tools/morsehandler/alphabetfilereader.h"

#include "codectablecheck.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    QBuffer& device = input.device();
    QMap<QString, QString> map;
    bool rightToLeft = false;
    morse::ReadFindings findings;
    morse::AlphabetFileReader::Read(device, map, rightToLeft, &findings);
    checkFindings(findings, input.bytes());

    // Every entry comes from a line of its own with a non-empty text and a code without tabs.
    if (map.size() > input.bytes().count('\n') + 1)
        std::abort();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key().isEmpty() || it.key().contains('\t') || it.value().contains('\t'))
            std::abort();
    }
    return 0;
}
