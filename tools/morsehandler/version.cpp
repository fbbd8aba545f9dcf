#include "tools/morsehandler/version.h"

namespace morse {

const char* LibraryVersion()
{
    return MORSEHANDLER_VERSION_STRING;
}

} // namespace morse
