// How many seconds of recording the FSK front end decodes per second of CPU time: the
// demodulator alone, and the whole `morsetool decode --mode rtty` process on a one-hour
// recording at 8 kHz (with its peak memory).

#include "rttybenchtext.h"

#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/fskdemodulator/fskdemodulator.h"
#include "tools/fskdemodulator/fsksynthesizer.h"

#include "bench/processusage.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int RATE = 8000;

fsk::FskSynthesizer makeSynthesizer(double seconds, uint32_t seed)
{
    std::mt19937 generator(seed);
    fsk::FskSynthesizer::Settings settings;
    settings.dBaud = 50.0;
    settings.dShiftHz = 425.0;
    settings.bNoise = true;
    settings.dSnrDb = 0.0;
    settings.uSeed = seed;
    fsk::FskSynthesizer synthesizer(settings);
    // About 6.7 characters a second at 50 baud.
    synthesizer.SetText(rttybench::randomText(generator, size_t(seconds * 6.6)));
    return synthesizer;
}

void BM_FskDemodulatorRealTimeFactor(benchmark::State& state)
{
    static const std::vector<float> samples = [] {
        fsk::FskSynthesizer synthesizer = makeSynthesizer(120.0, 1);
        std::vector<float> all(size_t(synthesizer.TotalSamples()));
        synthesizer.Render(all.data(), int64_t(all.size()));
        return all;
    }();
    for (auto _ : state) {
        fsk::FskDemodulator::Settings settings;
        fsk::FskDemodulator demodulator(settings);
        fsk::FskDemodulator::Character character;
        int count = 0;
        for (size_t i = 0; i < samples.size(); i += 8192) {
            demodulator.Push(samples.data() + i, std::min<size_t>(8192, samples.size() - i));
            while (demodulator.TakeCharacter(character))
                ++count;
        }
        demodulator.Finish();
        benchmark::DoNotOptimize(count);
    }
    state.counters["realtime_factor"] = benchmark::Counter(
        double(samples.size()) / RATE * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FskDemodulatorRealTimeFactor)->Unit(benchmark::kMillisecond);

void BM_MorsetoolRttyDecodeOneHour(benchmark::State& state)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("hour.flac"));
    static const double seconds = [] {
        fsk::FskSynthesizer synthesizer = makeSynthesizer(3600.0, 2);
        cw::AudioFileWriter writer;
        writer.Open(path, RATE);
        benchprocess::WriteRendered(synthesizer, writer);
        return double(synthesizer.TotalSamples()) / RATE;
    }();
    const QByteArray file = path.toLocal8Bit();
    benchprocess::MeasureWholeRuns(state,
                                   {MORSETOOL_PATH, "decode", "--mode", "rtty", file.constData()},
                                   seconds, "morsetool decode --mode rtty failed");
}
BENCHMARK(BM_MorsetoolRttyDecodeOneHour)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
