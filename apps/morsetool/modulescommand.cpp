#include "commands.h"

#include <cstdio>

int runModulesCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: modules is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
