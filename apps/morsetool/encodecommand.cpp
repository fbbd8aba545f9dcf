#include "commands.h"

#include <cstdio>

int runEncodeCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: encode is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
