#include "commands.h"

#include <cstdio>

int runMapCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: map is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
