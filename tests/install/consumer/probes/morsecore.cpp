// The Qt-free core compiles without Qt and links nothing.
#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsecore/morsesymbolcode.h"

#include <cstdio>
#include <cstring>

int main()
{
    const morse::InternationalAlphabet::Entry& first = morse::InternationalAlphabet::Entries()[0];
    const bool ok =
        std::strcmp(first.code, ".-") == 0 && morse::symbolSlot(morse::SYMBOL_END_OF_LINE) == 4;
    std::printf("morsecore %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
