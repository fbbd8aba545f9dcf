// The data input -> data output path of the mapping directory for 80-character lines, with the
// history at its 10000-character limit, and its parts on their own.

#include "host/values.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/charsetmap.h"
#include "tools/morsehandler/mappingdirectory.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int LINE_LENGTH = 80;
constexpr int HISTORY_LIMIT = 10000;

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

/// A maps directory with one ITA2 map of the 26 letters, and a catalogue of one ITA2 decoder.
class Setup
{
public:
    Setup()
    {
        QByteArray map;
        for (int letter = 0; letter < 26; ++letter)
            map += QByteArray(1, char('A' + letter)) + "\t0x" +
                   QByteArray::number(0x410 + letter, 16) + "\n";
        writeFile(m_dir.filePath(QStringLiteral("Cyrillic.ita2.map")), map);
        const QString modules = m_dir.filePath(QStringLiteral("modules.txt"));
        writeFile(modules, "1 0 D 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 I Baudot\n");
        LanternIT::DecoderModulesCenter::Instance(modules)->SetFilePath(modules);
    }
    QString directory() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

QString line(int variant)
{
    QString text;
    for (int i = 0; i < LINE_LENGTH; ++i)
        text += QChar(i % 9 == 8 ? ' ' : 'A' + (i + variant) % 26);
    return text;
}

void BM_DataInputToDataOutput(benchmark::State& state)
{
    Setup setup;
    values::Tree* tree = values::Tree::Instance();
    tree->Clear();
    auto* decoder = tree->FindOrInsert<values::ValueSelection>(QStringLiteral("/B/Decoder"));
    decoder->AddItem(QStringLiteral("Baudot"), 0, 0, nullptr);
    decoder->Select(QStringLiteral("Baudot"), nullptr);
    {
        MappingDirectory directory(setup.directory());
        directory.SetDecoder_ValuePath(QStringLiteral("/B/Decoder"));
        directory.SetAvailableMaps_ValuePath(QStringLiteral("/B/Maps"));
        directory.SetDataInput_ValuePath(QStringLiteral("/B/Input"), nullptr);
        directory.SetDataOutput_ValuePath(QStringLiteral("/B/Output"));
        directory.SetMaxNumberOfChars_ValuePath(QStringLiteral("/B/Max"));
        directory.Enabled(true);
        directory.Init(QStringLiteral("Cyrillic - ITA2"));
        auto* input =
            dynamic_cast<values::Value<QString>*>(tree->FindValue(QStringLiteral("/B/Input")));
        auto* output =
            dynamic_cast<values::Value<QString>*>(tree->FindValue(QStringLiteral("/B/Output")));
        const QString lines[2] = {line(0), line(1)};
        for (int i = 0; i < 2 * HISTORY_LIMIT / LINE_LENGTH; ++i) // history at its limit
            input->SetValue(lines[i % 2], nullptr);

        int n = 0;
        for (auto _ : state) {
            input->SetValue(lines[++n % 2], nullptr);
            benchmark::DoNotOptimize(output->GetValue());
        }
        state.SetItemsProcessed(state.iterations());
        state.SetBytesProcessed(state.iterations() * LINE_LENGTH);
        if (directory.TranslateHistory().size() != HISTORY_LIMIT)
            state.SkipWithError("the history is not at its limit");
    }
    tree->Clear();
}
BENCHMARK(BM_DataInputToDataOutput);

void BM_CharsetMapTranslate(benchmark::State& state)
{
    Setup setup;
    morse::CharsetMap map;
    map.Load(setup.directory() + QStringLiteral("/Cyrillic.ita2.map"));
    const QString text = line(0);
    for (auto _ : state)
        benchmark::DoNotOptimize(map.Translate(text));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CharsetMapTranslate);

// For comparison: a history trimmed by removing its head on every line, which moves the whole
// kept history each time.
void BM_HistoryTrimmedOnEveryLine(benchmark::State& state)
{
    QString history(HISTORY_LIMIT, QLatin1Char('x'));
    const QString text = line(0);
    for (auto _ : state) {
        history.append(text);
        history.remove(0, history.size() - HISTORY_LIMIT);
        benchmark::DoNotOptimize(history.constData());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HistoryTrimmedOnEveryLine);

} // namespace

BENCHMARK_MAIN();
