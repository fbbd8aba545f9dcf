// An FSK-library consumer: synthesizes a clean 45.45 Bd teleprinter signal with letters and
// figures, decodes it with FskDemodulator, and runs the 5-bit code through the encoder and the
// decoder on their own.
#include "tools/fskdemodulator/fskdemodulator.h"
#include "tools/fskdemodulator/fskdemodulator_export.h"
#include "tools/fskdemodulator/fsksynthesizer.h"
#include "tools/fskdemodulator/ita2alphabet.h"
#include "tools/fskdemodulator/ita2decoder.h"
#include "tools/fskdemodulator/ita2encoder.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string TEXT = "RYRYRY CQ CQ DE TEST 599";

std::string roundTripThroughCodes()
{
    std::vector<unsigned char> codes;
    char unencodable = 0;
    if (!fsk::Ita2Encoder().Encode(TEXT, codes, unencodable))
        return std::string();
    fsk::Ita2Decoder decoder{fsk::Ita2Decoder::Settings()};
    std::string text;
    for (unsigned char code : codes) {
        if (const char c = decoder.Push(code))
            text += c;
    }
    return text;
}

std::string demodulated(fsk::FskDemodulator& demodulator)
{
    fsk::FskSynthesizer synthesizer{fsk::FskSynthesizer::Settings()};
    if (!synthesizer.SetText(TEXT))
        return std::string();
    std::vector<float> block(4096);
    while (const auto count = synthesizer.Render(block.data(), std::int64_t(block.size())))
        demodulator.Push(block.data(), size_t(count));
    demodulator.Finish();
    std::string text;
    fsk::FskDemodulator::Character character;
    while (demodulator.TakeCharacter(character)) {
        if (character.cText)
            text += character.cText;
    }
    return text;
}

} // namespace

int main()
{
    bool ok = fsk::Ita2Alphabet::Letter(unsigned(fsk::Ita2Alphabet::LetterCode('E'))) == 'E';
    ok = ok && roundTripThroughCodes() == TEXT;

    fsk::FskDemodulator demodulator{fsk::FskDemodulator::Settings()};
    const std::string text = demodulated(demodulator);
    ok = ok && text.find(TEXT) != std::string::npos && demodulator.HasSignal();
    std::printf("fskdemodulator %s: \"%s\" at %.2f Bd\n", ok ? "ok" : "FAILED", text.c_str(),
                demodulator.Baud());
    return ok ? 0 : 1;
}
