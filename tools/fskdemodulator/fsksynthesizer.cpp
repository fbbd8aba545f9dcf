#include "tools/fskdemodulator/fsksynthesizer.h"

#include "tools/fskdemodulator/ita2encoder.h"
#include "tools/morsedsp/dspconstants.h"

#include <cmath>

namespace fsk {

namespace {

constexpr double SNR_BANDWIDTH_HZ = 2500.0;
/// The neighbour sends this text over and over, starting a fraction of a bit later.
const char* const NEIGHBOUR_TEXT = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 1234567890 ";
constexpr double NEIGHBOUR_DELAY_BITS = 0.37;

} // namespace

FskSynthesizer::FskSynthesizer(const Settings& settings)
    : m_settings(settings), m_random(settings.uSeed)
{
    if (settings.bNoise) {
        const double signalPower = AMPLITUDE * AMPLITUDE / 2.0;
        const double bandNoise = signalPower / std::pow(10.0, settings.dSnrDb / 10.0);
        m_dNoiseSigma = std::sqrt(bandNoise * (settings.nSampleRate / 2.0) / SNR_BANDWIDTH_HZ);
    }
}

bool FskSynthesizer::SetText(const std::string& strText)
{
    std::vector<unsigned char> codes;
    char unencodable = 0;
    if (!Ita2Encoder(m_settings.figures).Encode(strText, codes, unencodable)) {
        m_strError = std::string("the character '") + unencodable + "' has no teleprinter code";
        return false;
    }
    buildKeying(codes, 0.0, m_wanted);
    m_nTotal = int64_t(std::ceil(m_wanted.ends.back()));
    if (m_settings.dNeighbourOffsetHz != 0.0) {
        std::vector<unsigned char> neighbourCodes;
        std::string text;
        while (text.size() < strText.size() + 20)
            text += NEIGHBOUR_TEXT;
        Ita2Encoder(m_settings.figures).Encode(text, neighbourCodes, unencodable);
        buildKeying(neighbourCodes, NEIGHBOUR_DELAY_BITS, m_neighbour);
    }
    m_nRendered = 0;
    return true;
}

void FskSynthesizer::buildKeying(const std::vector<unsigned char>& codes, double dOffsetBits,
                                 Keying& keying) const
{
    const double bit = m_settings.nSampleRate / m_settings.dBaud;
    keying = Keying();
    // Segments alternate mark, space, mark...: each bit extends the current segment or
    // closes it.
    double position = m_settings.dIdleSec * m_settings.nSampleRate + dOffsetBits * bit;
    bool mark = true;
    auto send = [&](bool bMark, double dBits) {
        if (bMark != mark) {
            keying.ends.push_back(position);
            mark = bMark;
        }
        position += dBits * bit;
    };
    for (const unsigned char code : codes) {
        send(false, 1.0);
        for (int i = 0; i < 5; ++i)
            send(((code >> i) & 1u) != 0, 1.0);
        send(true, m_settings.dStopBits);
    }
    position += m_settings.dIdleSec * m_settings.nSampleRate;
    keying.ends.push_back(position);
}

bool FskSynthesizer::Keying::isMark(int64_t nSample)
{
    while (nSegment < ends.size() && double(nSample) >= ends[nSegment])
        ++nSegment;
    return nSegment % 2 == 0;
}

double FskSynthesizer::fade(double dSeconds, double dTurn) const
{
    if (m_settings.dFadeHz <= 0.0)
        return 1.0;
    const double depth =
        0.5 - 0.5 * std::cos(dsp::TWO_PI * (m_settings.dFadeHz * dSeconds + dTurn));
    return std::pow(10.0, -m_settings.dFadeDepthDb * depth / 20.0);
}

int64_t FskSynthesizer::Render(float* pOut, int64_t nMax)
{
    const double rate = m_settings.nSampleRate;
    const double shift = m_settings.bReversed ? m_settings.dShiftHz : -m_settings.dShiftHz;
    const double neighbourLevel = std::pow(10.0, m_settings.dNeighbourDb / 20.0);
    int64_t n = 0;
    for (; n < nMax && m_nRendered < m_nTotal; ++n, ++m_nRendered) {
        const double seconds = double(m_nRendered) / rate;
        const double drift = m_settings.dDriftHzPerSec * seconds;
        const bool mark = m_wanted.isMark(m_nRendered);
        const double frequency = m_settings.dMarkHz + drift + (mark ? 0.0 : shift);
        m_wanted.dPhase = std::fmod(m_wanted.dPhase + dsp::TWO_PI * frequency / rate, dsp::TWO_PI);
        double sample = AMPLITUDE * fade(seconds, mark ? 0.0 : 0.5) * std::sin(m_wanted.dPhase);
        if (!m_neighbour.ends.empty()) {
            const double tone = m_settings.dMarkHz + m_settings.dNeighbourOffsetHz +
                                (m_neighbour.isMark(m_nRendered) ? 0.0 : shift);
            m_neighbour.dPhase =
                std::fmod(m_neighbour.dPhase + dsp::TWO_PI * tone / rate, dsp::TWO_PI);
            sample += AMPLITUDE * neighbourLevel * std::sin(m_neighbour.dPhase);
        }
        if (m_dNoiseSigma > 0.0)
            sample += m_dNoiseSigma * m_gauss(m_random);
        pOut[n] = float(sample);
    }
    return n;
}

} // namespace fsk
