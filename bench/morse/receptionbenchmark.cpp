// Speed of Morse reception: codes through the whole path from the symbol value to the
// published text, translation of a full symbol buffer, and the cost of a write that fails.

#include "host/values.h"
#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsehandler/morsehandler.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

/// Codes of a realistic exchange: letters and digits ending in 3, word gaps as 4.
std::vector<int> exchangeCodes()
{
    const QString text = QStringLiteral(
        "CQ CQ DE DL1ABC DL1ABC K G4XYZ DE DL1ABC GM TNX FER CALL UR RST 599 599 NAME HANS QTH "
        "BERLIN HW? DL1ABC DE G4XYZ R GM HANS UR RST 579 NAME JOHN PWR 100 W HR 73 SK ");
    std::vector<int> codes;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ')) {
            codes.push_back(4);
            continue;
        }
        const char* code = morse::InternationalAlphabet::CodeOf(c.toLatin1());
        for (; code != nullptr && *code != '\0'; ++code)
            codes.push_back(*code == '-' ? 1 : 0);
        codes.push_back(3);
    }
    return codes;
}

/// The display of the host: it reads every published unit.
class Display : public IObserver
{
public:
    explicit Display(values::Value<QString>* text) : m_text(text) { text->AddObserver(this); }
    ~Display() override { m_text->DeleteObserver(this); }
    void Update(Observable*, TChangeCode code) override
    {
        if (code == CHANGE_VALUE)
            m_length += m_text->GetValue().size();
    }
    qint64 m_length = 0;

private:
    values::Value<QString>* m_text;
};

/// A handler bound to its values in a started session, as a host sets it up.
struct Reception
{
    Reception()
    {
        values::Tree* tree = values::Tree::Instance();
        tree->Clear();
        symbol = tree->FindOrInsert<values::ValueNumeric<int>>(QStringLiteral("/Morse/Symbol"));
        text = tree->FindOrInsert<values::Value<QString>>(QStringLiteral("/Morse/Text"));
        auto* available =
            tree->FindOrInsert<values::Value<bool>>(QStringLiteral("/Morse/Available"));
        available->SetValue(true, nullptr);
        display = std::make_unique<Display>(text);
        handler.SetSymbol_ValuePath(QStringLiteral("/Morse/Symbol"));
        handler.SetMorseText_ValuePath(QStringLiteral("/Morse/Text"));
        handler.SetMorseAvailable_ValuePath(QStringLiteral("/Morse/Available"));
        handler.StartNewMorseSession();
    }
    ~Reception()
    {
        display.reset();
        values::Tree::Instance()->Clear();
    }
    /// What a demodulator does: a repeated code is announced although the value is unchanged.
    void publish(int code)
    {
        if (symbol->GetValue() == code)
            symbol->HasChanged(CHANGE_VALUE, nullptr);
        else
            symbol->SetValue(code, nullptr);
    }
    void fillBuffer(const std::vector<int>& codes)
    {
        while (handler.GetCurrentMorseSymbolString().size() < MorseHandler::SYMBOL_BUFFER_LIMIT - 1)
            for (int code : codes)
                publish(code);
    }

    MorseHandler handler;
    values::ValueNumeric<int>* symbol = nullptr;
    values::Value<QString>* text = nullptr;
    std::unique_ptr<Display> display;
};

void BM_CodesThroughTheWholePath(benchmark::State& state)
{
    const std::vector<int> codes = exchangeCodes();
    Reception reception;
    reception.fillBuffer(codes); // steady state: every symbol now trims the buffer's front
    for (auto _ : state) {
        for (int code : codes)
            reception.publish(code);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
    benchmark::DoNotOptimize(reception.display->m_length);
}
BENCHMARK(BM_CodesThroughTheWholePath);

void BM_CodesBelowTheBound(benchmark::State& state)
{
    const std::vector<int> codes = exchangeCodes();
    Reception reception;
    for (auto _ : state) {
        reception.handler.ClearSymbolBuffer(); // one exchange stays far below the bound
        for (int code : codes)
            reception.publish(code);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}
BENCHMARK(BM_CodesBelowTheBound);

void BM_TranslateFullBuffer(benchmark::State& state)
{
    Reception reception;
    reception.fillBuffer(exchangeCodes());
    for (auto _ : state)
        benchmark::DoNotOptimize(reception.handler.TranslateText(false, false, 0).size());
    state.counters["symbols"] = reception.handler.GetCurrentMorseSymbolString().size();
}
BENCHMARK(BM_TranslateFullBuffer)->Unit(benchmark::kMicrosecond);

void BM_CodesWhileSaving(benchmark::State& state)
{
    const std::vector<int> codes = exchangeCodes();
    QTemporaryDir dir;
    Reception reception;
    auto* save =
        values::Tree::Instance()->FindOrInsert<values::Value<bool>>(QStringLiteral("/Morse/Save"));
    save->SetValue(true, nullptr);
    reception.handler.SetSaveDirectoryPath(dir.path(), QString(), QString(), QString());
    reception.handler.SetMorseSaveToFile_ValuePath(QStringLiteral("/Morse/Save"));
    for (auto _ : state) {
        for (int code : codes)
            reception.publish(code);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(codes.size()));
}
BENCHMARK(BM_CodesWhileSaving)->Unit(benchmark::kMicrosecond);

/// One character (its text and its code) written where no file can be created: the argument
/// selects a missing directory (0) or a file name too long for the file system (1).
void BM_FailedWriteOfOneCharacter(benchmark::State& state)
{
    QTemporaryDir dir;
    Reception reception;
    auto* save =
        values::Tree::Instance()->FindOrInsert<values::Value<bool>>(QStringLiteral("/Morse/Save"));
    save->SetValue(true, nullptr);
    if (state.range(0) == 0) {
        reception.handler.SetSaveDirectoryPath(dir.filePath(QStringLiteral("missing/dir")),
                                               QString(), QString(), QString());
    } else {
        auto* alphabet = values::Tree::Instance()->FindOrInsert<values::ValueSelection>(
            QStringLiteral("/Morse/Alphabet"));
        alphabet->AddItem(QString(300, QLatin1Char('x')), 0, 0, nullptr);
        alphabet->Select(QString(300, QLatin1Char('x')), nullptr);
        reception.handler.SetMorseAlphabet_ValuePath(QStringLiteral("/Morse/Alphabet"));
        reception.handler.SetSaveDirectoryPath(dir.path(), QString(), QString(), QString());
    }
    reception.handler.SetMorseSaveToFile_ValuePath(QStringLiteral("/Morse/Save"));
    for (auto _ : state) {
        reception.handler.AddSymbol(0); // the dot goes to the code file
        reception.handler.AddSymbol(3); // the character to both files
    }
    state.SetLabel(state.range(0) == 0 ? "missing directory" : "name too long");
}
BENCHMARK(BM_FailedWriteOfOneCharacter)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
