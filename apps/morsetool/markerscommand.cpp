#include "commands.h"

#include <cstdio>

int runMarkersCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: markers is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
