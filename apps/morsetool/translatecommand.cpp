#include "commands.h"

#include <cstdio>

int runTranslateCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool: translate is not available yet\n");
    return EXIT_FAILURE_RUNNING;
}
