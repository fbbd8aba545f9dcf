// A CW-library consumer: keys "PARIS PARIS" from the core's code table as a clean 700 Hz tone at
// 20 WPM, decodes it with CwDemodulator and reads the symbol codes back into text; then finds the
// same tone with CwSkimmer.
#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwdemodulator_export.h"
#include "tools/cwdemodulator/cwskimmer.h"
#include "tools/cwdemodulator/cwsymbol.h"
#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsecore/morsesymbolcode.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double RATE = 8000.0;
constexpr double PITCH = 700.0;
constexpr int UNIT = int(RATE * 1.2 / 20); // one dot at 20 WPM

void key(std::vector<float>& audio, int units, bool on)
{
    for (int i = 0; i < units * UNIT; ++i) {
        const double t = double(audio.size()) / RATE;
        audio.push_back(on ? float(0.5 * std::sin(2.0 * M_PI * PITCH * t)) : 0.0f);
    }
}

const char* codeOf(char c)
{
    const morse::InternationalAlphabet::Entry* entries = morse::InternationalAlphabet::Entries();
    for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
        if (entries[i].text[0] == c && entries[i].text[1] == 0)
            return entries[i].code;
    }
    return "";
}

std::string textOf(const std::string& code)
{
    const morse::InternationalAlphabet::Entry* entries = morse::InternationalAlphabet::Entries();
    for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
        if (code == entries[i].code)
            return entries[i].text;
    }
    return "?";
}

// The number of symbols CwSkimmer gives for a signal within 20 Hz of the tone.
int skimmedSymbols(const std::vector<float>& audio)
{
    cw::CwSkimmer::Settings settings;
    settings.dSampleRate = RATE;
    cw::CwSkimmer skimmer(settings);
    skimmer.Process(audio.data(), audio.size());
    skimmer.Finish();
    int symbols = 0;
    cw::CwSkimmer::Event event;
    while (skimmer.TakeEvent(event)) {
        if (event.kind == cw::CwSkimmer::Event::Kind::Symbol &&
            std::fabs(event.dPitchHz - PITCH) < 20.0)
            ++symbols;
    }
    return symbols;
}

} // namespace

int main()
{
    std::vector<float> audio;
    key(audio, 20, false);
    for (const char* word : {"PARIS", "PARIS"}) {
        for (const char* c = word; *c; ++c) {
            for (const char* element = codeOf(*c); *element; ++element) {
                key(audio, *element == '.' ? 1 : 3, true);
                key(audio, 1, false);
            }
            key(audio, 2, false);
        }
        key(audio, 4, false);
    }
    key(audio, 40, false);

    cw::CwDemodulator::Settings settings;
    settings.dSampleRate = RATE;
    cw::CwDemodulator demodulator(settings);
    demodulator.Process(audio.data(), audio.size());
    demodulator.Finish();

    std::string text;
    std::string code;
    cw::CwSymbol symbol;
    while (demodulator.TakeSymbol(symbol)) {
        switch (symbol.nCode & morse::SYMBOL_CODE_MASK) {
        case morse::SYMBOL_DOT:
            code += '.';
            break;
        case morse::SYMBOL_DASH:
            code += '-';
            break;
        case morse::SYMBOL_END_OF_CHARACTER:
            text += textOf(code);
            code.clear();
            break;
        case morse::SYMBOL_END_OF_WORD:
            text += ' ';
            break;
        default:
            break;
        }
    }
    const int skimmed = skimmedSymbols(audio);
    const bool ok = text.find("PARIS PARIS") != std::string::npos &&
                    demodulator.SamplesProcessed() == std::int64_t(audio.size()) && skimmed > 0;
    std::printf("cwdemodulator %s: \"%s\" at %.0f Hz; skimmer: %d symbols\n", ok ? "ok" : "FAILED",
                text.c_str(), demodulator.Pitch(), skimmed);
    return ok ? 0 : 1;
}
