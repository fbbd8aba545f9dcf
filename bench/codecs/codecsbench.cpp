// Translation through a codec: CodecHandler's flat tables against the straightforward
// ordered-map lookup per code unit, on 1 MB of decoder output, in the same run.
//
// The bundled KOI8-R codec (128 entries) translates random bytes; back-translation gets the
// translated text.

#include "tools/morsehandler/codechandler.h"
#include "tools/morsehandler/mapfilereader.h"

#include "tests/codecs/referencecodec.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <random>

namespace {

constexpr int INPUT_UNITS = 1 << 20;
const QString CODECS = QStringLiteral(MORSE_BUNDLED_DATA_DIR "/codecs");

struct Fixture
{
    Fixture()
    {
        handler.SetAlphabetsDir(CODECS);
        loaded = handler.SetAlphabet(QStringLiteral("KOI8-R - ASCII")) &&
                 morse::MapFileReader::Read(CODECS + QStringLiteral("/KOI8-R.ascii.map"), table,
                                            rightToLeft);
        std::mt19937 random(1);
        QByteArray bytes(INPUT_UNITS, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        codes = QString::fromLatin1(bytes.constData(), bytes.size());
        text = reference::translate(table, codes);
    }

    CodecHandler handler;
    QMap<char, ushort> table;
    bool rightToLeft = false;
    bool loaded = false;
    QString codes;
    QString text;
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

template <class Translate> void run(benchmark::State& state, Translate translate)
{
    Fixture& f = fixture();
    if (!f.loaded) {
        state.SkipWithError("the bundled KOI8-R codec could not be loaded");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(translate(f));
    state.SetBytesProcessed(state.iterations() * INPUT_UNITS);
}

void TranslateFlatTable(benchmark::State& state)
{
    run(state, [](Fixture& f) { return f.handler.Translate(f.codes); });
}

void TranslateQMapLookup(benchmark::State& state)
{
    run(state, [](Fixture& f) { return reference::translate(f.table, f.codes); });
}

void BacktranslateReverseTable(benchmark::State& state)
{
    run(state, [](Fixture& f) { return f.handler.Backtranslate(f.text); });
}

void BacktranslateQMapWalk(benchmark::State& state)
{
    run(state, [](Fixture& f) { return reference::backtranslate(f.table, f.text); });
}

} // namespace

BENCHMARK(TranslateFlatTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(TranslateQMapLookup)->Unit(benchmark::kMicrosecond);
BENCHMARK(BacktranslateReverseTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BacktranslateQMapWalk)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
