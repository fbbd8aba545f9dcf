#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

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

/// Runs @p arguments once per benchmark iteration and reports the audio seconds (@p seconds a
/// run) decoded per CPU second, with the peak memory; a failed run ends the benchmark with
/// @p failure.
inline void MeasureWholeRuns(benchmark::State& state, const std::vector<const char*>& arguments,
                             double seconds, const char* failure)
{
    double cpuSeconds = 0.0;
    long peakKb = 0;
    for (auto _ : state) {
        if (!Run(arguments, cpuSeconds, peakKb)) {
            state.SkipWithError(failure);
            return;
        }
    }
    state.counters["realtime_factor"] =
        seconds * double(state.iterations()) / std::max(1e-9, cpuSeconds);
    state.counters["peak_rss_mb"] = double(peakKb) / 1024.0;
    state.counters["audio_s"] = seconds;
}

/// Writes everything @p synthesizer renders (CW or FSK: any type with Render(float*, count))
/// to the recording @p writer has open, then commits it.
template <class Synthesizer, class Writer>
void WriteRendered(Synthesizer& synthesizer, Writer& writer)
{
    std::vector<float> block(1 << 16);
    while (const auto count = synthesizer.Render(
               block.data(), decltype(synthesizer.Render(nullptr, 0))(block.size())))
        writer.Write(block.data(), count);
    writer.Commit();
}

} // namespace benchprocess
