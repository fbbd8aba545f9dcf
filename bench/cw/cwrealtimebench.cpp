// How many seconds of recording the CW front end decodes per second of CPU time: the
// demodulator alone, and the whole `morsetool decode` process on a one-hour recording
// (with its peak memory); and the blanker alone, the stage that sees every input sample.

#include "cwbenchsets.h"

#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwsynthesizer.h"
#include "tools/cwdemodulator/impulseblanker.h"

#include "bench/processusage.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int RATE = 8000;

cw::CwSynthesizer makeSynthesizer(double seconds, quint32 seed, double crashesPerSec = 0.0)
{
    std::mt19937 generator(seed);
    QString text;
    // Eight tokens take about 24 s at 20 WPM.
    for (double length = 0; length < seconds; length += 24.0)
        text += cwbench::randomText(generator, 8) + QLatin1Char(' ');
    cw::CwSynthesizer::Settings settings;
    settings.dWpm = 20.0;
    settings.bNoise = true;
    settings.dSnrDb = 0.0;
    settings.uSeed = seed;
    settings.dCrashesPerSec = crashesPerSec;
    cw::CwSynthesizer synthesizer(settings);
    synthesizer.SetText(text);
    return synthesizer;
}

void BM_DemodulatorRealTimeFactor(benchmark::State& state)
{
    static const std::vector<float> samples = makeSynthesizer(120.0, 1).RenderAll();
    for (auto _ : state) {
        cw::CwDemodulator::Settings settings;
        settings.dSampleRate = RATE;
        cw::CwDemodulator demodulator(settings);
        cw::CwSymbol symbol;
        int count = 0;
        for (size_t i = 0; i < samples.size(); i += 8192) {
            demodulator.Process(samples.data() + i, std::min<size_t>(8192, samples.size() - i));
            while (demodulator.TakeSymbol(symbol))
                ++count;
        }
        demodulator.Finish();
        benchmark::DoNotOptimize(count);
    }
    // Audio seconds per second of CPU time.
    state.counters["realtime_factor"] = benchmark::Counter(
        double(samples.size()) / RATE * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DemodulatorRealTimeFactor)->Unit(benchmark::kMillisecond);

void BM_ImpulseBlanker(benchmark::State& state)
{
    // Crashes now and then, as on the band: the blocks that hold one are copied.
    static const std::vector<float> samples = makeSynthesizer(120.0, 3, 0.5).RenderAll();
    for (auto _ : state) {
        cw::ImpulseBlanker blanker(RATE, 700.0);
        for (size_t i = 0; i < samples.size(); i += 8192)
            benchmark::DoNotOptimize(
                blanker.Push(samples.data() + i, std::min<size_t>(8192, samples.size() - i)));
    }
    state.counters["realtime_factor"] = benchmark::Counter(
        double(samples.size()) / RATE * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ImpulseBlanker)->Unit(benchmark::kMillisecond);

void BM_MorsetoolDecodeOneHour(benchmark::State& state)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("hour.flac"));
    static const double seconds = [] {
        cw::CwSynthesizer synthesizer = makeSynthesizer(3600.0, 2);
        cw::AudioFileWriter writer;
        writer.Open(path, RATE);
        benchprocess::WriteRendered(synthesizer, writer);
        return double(synthesizer.TotalSamples()) / RATE;
    }();

    const QByteArray file = path.toLocal8Bit();
    benchprocess::MeasureWholeRuns(state, {MORSETOOL_PATH, "decode", file.constData()}, seconds,
                                   "morsetool decode failed");
}
BENCHMARK(BM_MorsetoolDecodeOneHour)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
