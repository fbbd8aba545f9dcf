// A CW-library consumer: keys "PARIS PARIS" as a clean 700 Hz tone at 20 WPM, decodes it with
// CwDemodulator and spells the symbol codes back as dots, dashes and gaps; then finds the same
// tone with CwSkimmer.
#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwdemodulator_export.h"
#include "tools/cwdemodulator/cwskimmer.h"
#include "tools/cwdemodulator/cwsymbol.h"
#include "tools/morsecore/morsesymbolcode.h"

#include <cmath>
#include <cstdio>
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

/// Dots and dashes, a blank after each character and a slash after each word.
const std::string KEYED = ".--. .- .-. .. ... /.--. .- .-. .. ... /";

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
    for (const char c : KEYED) {
        if (c == '.' || c == '-')
            key(audio, c == '.' ? 1 : 3, true);
        key(audio, c == ' ' ? 2 : c == '/' ? 4 : 1, false); // element, character and word gaps
    }
    key(audio, 40, false);

    cw::CwDemodulator::Settings settings;
    settings.dSampleRate = RATE;
    cw::CwDemodulator demodulator(settings);
    demodulator.Process(audio.data(), audio.size());
    demodulator.Finish();

    std::string text;
    cw::CwSymbol symbol;
    while (demodulator.TakeSymbol(symbol)) {
        const int code = symbol.nCode & morse::SYMBOL_CODE_MASK;
        if (code == morse::SYMBOL_DOT || code == morse::SYMBOL_DASH)
            text += code == morse::SYMBOL_DOT ? '.' : '-';
        else if (code == morse::SYMBOL_END_OF_CHARACTER || code == morse::SYMBOL_END_OF_WORD)
            text += code == morse::SYMBOL_END_OF_WORD ? "/" : " ";
    }
    const int skimmed = skimmedSymbols(audio);
    const bool ok = text.find(KEYED) != std::string::npos &&
                    demodulator.SamplesProcessed() == std::int64_t(audio.size()) && skimmed > 0;
    std::printf("cwdemodulator %s: \"%s\" at %.0f Hz; skimmer: %d symbols\n", ok ? "ok" : "FAILED",
                text.c_str(), demodulator.Pitch(), skimmed);
    return ok ? 0 : 1;
}
