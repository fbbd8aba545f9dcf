#include "commands.h"

#include <cstdio>

int runDecodeCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: decode is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
