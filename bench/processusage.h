#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

/// Runs a program with its output discarded and adds its CPU seconds and peak memory: what the
/// benches of whole `morsetool` runs measure.
namespace benchprocess {

/// Runs @p arguments (the program's path first); false when it cannot run or does not exit 0.
inline bool Run(const std::vector<const char*>& arguments, double& cpuSeconds, long& peakKb)
{
    std::vector<char*> argv;
    for (const char* argument : arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) < 0)
        return false;
    cpuSeconds += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    peakKb = std::max(peakKb, usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace benchprocess
