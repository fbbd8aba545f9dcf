#include "commands.h"

#include <cstdio>

int runSynthCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: synth is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
