// What the skimmer costs: seconds of recording per second of CPU time for a band of 8
// signals in 3 kHz at 8 kHz (the whole `morsetool skim` process), 60 signals at 48 kHz (the
// skimmer on one and on two threads) and 200 signals at 192 kHz (wall-clock time on two
// threads: whether the machine keeps up with the receiver).

#include "cwskimband.h"

#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwskimmer.h"

#include "bench/processusage.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>
#include <map>

namespace {

/// A rendered band, made once per process.
struct RenderedBand
{
    cwskim::Band band;
    std::vector<float> samples;
    double seconds() const { return double(samples.size()) / band.nRate; }
};

const RenderedBand& bandOf(int nSignals, int nRate, double dHighHz)
{
    static std::map<int, RenderedBand> made;
    auto found = made.find(nSignals);
    if (found != made.end())
        return found->second;
    static QTemporaryDir work;
    RenderedBand& rendered = made[nSignals];
    rendered.band = cwskim::randomBand(nSignals, nRate, 400.0, dHighHz, 7);
    rendered.samples = cwskim::render(rendered.band, 8, work.path());
    return rendered;
}

double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

/// Skims the band; counts the CPU time of all threads and of the caller's, whose split tells
/// how busy each thread was however loaded the machine is.
void skimAll(const RenderedBand& rendered, size_t nThreads, benchmark::State& state)
{
    const double processStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double callerStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    cw::CwSkimmer::Settings settings;
    settings.dSampleRate = rendered.band.nRate;
    settings.nThreads = nThreads;
    cw::CwSkimmer skimmer(settings);
    size_t events = 0;
    const std::vector<float>& samples = rendered.samples;
    for (size_t i = 0; i < samples.size(); i += 8192) {
        skimmer.Process(samples.data() + i, std::min<size_t>(8192, samples.size() - i));
        for (cw::CwSkimmer::Event event; skimmer.TakeEvent(event);)
            ++events;
    }
    skimmer.Finish();
    for (cw::CwSkimmer::Event event; skimmer.TakeEvent(event);)
        ++events;
    benchmark::DoNotOptimize(events);
    state.counters["audio_s"] = rendered.seconds();
    state.counters["cpu_s"] = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    state.counters["caller_cpu_s"] = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - callerStart;
}

void BM_SkimEightSignalsAt8kHzWholeProcess(benchmark::State& state)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("band.wav"));
    static const double seconds = [] {
        const RenderedBand& rendered = bandOf(8, 8000, 3400.0);
        cw::AudioFileWriter writer;
        if (!writer.Open(path, 8000) ||
            !writer.Write(rendered.samples.data(), qint64(rendered.samples.size())) ||
            !writer.Commit())
            return 0.0;
        return rendered.seconds();
    }();
    const QByteArray file = path.toLocal8Bit();
    benchprocess::MeasureWholeRuns(state, {MORSETOOL_PATH, "skim", file.constData()}, seconds,
                                   "morsetool skim failed");
}
BENCHMARK(BM_SkimEightSignalsAt8kHzWholeProcess)->Unit(benchmark::kMillisecond)->Iterations(5);

/// Audio seconds per CPU second (one thread) or per wall-clock second (several).
void BM_SkimSixtySignalsAt48kHz(benchmark::State& state)
{
    const RenderedBand& rendered = bandOf(60, 48000, 22000.0);
    for (auto _ : state)
        skimAll(rendered, size_t(state.range(0)), state);
    state.counters["realtime_factor"] = benchmark::Counter(
        rendered.seconds() * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SkimSixtySignalsAt48kHz)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_SkimSixtySignalsAt48kHz)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_SkimTwoHundredSignalsAt192kHz(benchmark::State& state)
{
    const RenderedBand& rendered = bandOf(200, 192000, 90000.0);
    for (auto _ : state)
        skimAll(rendered, 2, state);
    state.counters["realtime_factor"] = benchmark::Counter(
        rendered.seconds() * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SkimTwoHundredSignalsAt192kHz)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
