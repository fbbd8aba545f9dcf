#include "commands.h"

#include <cstdio>

int runAlphabetsCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: alphabets is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
