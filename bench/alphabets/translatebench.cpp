// Throughput of SimpleMorseHandler::Translate on the bundled International alphabet: a whole
// message in one call, and the same message arriving one symbol at a time as a decoder sends it.

#include "tools/morsehandler/simplemorsehandler.h"

#include <benchmark/benchmark.h>

namespace {

QString message()
{
    // "CQ CQ DE TEST 599 73" with a timing error, repeated to about 10 000 symbols.
    const QString words = QStringLiteral("-.-. --.-\t-.-. --.-\t-.. .\t- . ... -\t"
                                         "..... ----. ----.\t--... ...[PAUSE TO SHORT]--\n");
    QString text;
    while (text.size() < 10000)
        text += words;
    return text;
}

SimpleMorseHandler international()
{
    SimpleMorseHandler handler;
    handler.SetAlphabetsDir(QStringLiteral(MORSE_BUNDLED_DATA_DIR "/alphabets"));
    handler.SetAlphabet(QStringLiteral("International"));
    return handler;
}

void BM_TranslateWholeMessage(benchmark::State& state)
{
    SimpleMorseHandler handler = international();
    const QString text = message();
    for (auto _ : state)
        benchmark::DoNotOptimize(handler.Translate(text));
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_TranslateWholeMessage);

void BM_TranslateOneSymbolPerCall(benchmark::State& state)
{
    SimpleMorseHandler handler = international();
    const QString text = message();
    QStringList symbols;
    for (int at = 0; at < text.size();) {
        const int length = text.at(at) == QLatin1Char('[') ? text.indexOf(']', at) + 1 - at : 1;
        symbols << text.mid(at, length);
        at += length;
    }
    for (auto _ : state) {
        for (const QString& symbol : symbols)
            benchmark::DoNotOptimize(handler.Translate(symbol));
    }
    state.SetItemsProcessed(state.iterations() * symbols.size());
}
BENCHMARK(BM_TranslateOneSymbolPerCall);

} // namespace

BENCHMARK_MAIN();
