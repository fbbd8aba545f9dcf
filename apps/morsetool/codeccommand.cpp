#include "commands.h"

#include <cstdio>

int runCodecCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: codec is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}

int runCodecsCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: codecs is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
