#include "tools/cwdemodulator/cwsynthesizer.h"

#include "tools/cwdemodulator/portableuniform.h"

#include "tools/morsecore/internationalalphabet.h"
#include "tools/morsedsp/dspconstants.h"

#include <QRegExp>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

constexpr double NOISE_REFERENCE_HZ = 2500.0;
/// Noise standard deviation the amplitude rule keeps the output at, so that 16-bit files
/// do not clip.
constexpr double MAX_NOISE_SIGMA = 0.2;
/// Silence between two lines of text: long enough for a receiver to end the line.
constexpr double LINE_PAUSE_SEC = 4.0;
constexpr double CHIRP_SEC = 0.02; ///< how long a mark's chirp lasts
constexpr double FULL_SCALE_HEADROOM = 0.9;
constexpr double AGC_HEADROOM = 2.0; ///< the AGC's target peak over the tone's peak

QString codeOf(QChar character)
{
    return QString::fromLatin1(morse::InternationalAlphabet::CodeOf(character.toLatin1()));
}

} // namespace

CwSynthesizer::CwSynthesizer(const Settings& settings)
    : m_settings(settings), m_random(settings.uSeed), m_noise(settings.uSeed ^ 0x9e3779b9u),
      m_impairmentRandom(settings.uSeed ^ 0x85ebca6bu),
      m_crashes(settings.nSampleRate, settings.dCrashesPerSec, settings.dCrashDb)
{
    const double rate = std::max(1, m_settings.nSampleRate);
    m_dTone = m_settings.dAmplitude;
    if (m_settings.bNoise) {
        // Noise power in the reference bandwidth is the tone power over the SNR; white noise
        // spreads the same density over the whole band up to half the sample rate.
        const double snr = std::pow(10.0, m_settings.dSnrDb / 10.0);
        const double sigmaPerUnitTone = std::sqrt(0.5 / snr * (rate / 2.0) / NOISE_REFERENCE_HZ);
        m_dTone = std::min(m_dTone, MAX_NOISE_SIGMA / sigmaPerUnitTone);
        m_dNoiseSigma = sigmaPerUnitTone * m_dTone;
    }
    const double omega = dsp::TWO_PI * m_settings.dPitchHz / rate;
    m_tone.Start(dsp::TWO_PI * portableUniform(m_random), omega);
    m_dRampStep = 1.0 / std::max(1.0, m_settings.dRiseMs * rate / 1000.0);
}

double CwSynthesizer::nextUniform()
{
    return portableUniform(m_random);
}

std::vector<int> CwSynthesizer::KeyingUnits(const QString& strText,
                                            const QMap<QChar, QString>& characterCodes,
                                            QString& strError)
{
    strError.clear();
    std::vector<int> units;
    const QStringList lines = strText.toUpper().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList words = line.split(QRegExp(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (!words.isEmpty() && !units.empty())
            units.push_back(0);
        for (int w = 0; w < words.size(); ++w) {
            if (w > 0)
                units.push_back(-7);
            const QString& word = words[w];
            for (int c = 0; c < word.size(); ++c) {
                const QString code =
                    characterCodes.isEmpty() ? codeOf(word[c]) : characterCodes.value(word[c]);
                if (code.isEmpty()) {
                    strError = QStringLiteral("no Morse code for the character '%1'").arg(word[c]);
                    return {};
                }
                if (c > 0)
                    units.push_back(-3);
                for (int e = 0; e < code.size(); ++e) {
                    if (e > 0)
                        units.push_back(-1);
                    units.push_back(code[e] == QLatin1Char('-') ? 3 : 1);
                }
            }
        }
    }
    return units;
}

bool CwSynthesizer::SetText(const QString& strText)
{
    const std::vector<int> units = KeyingUnits(strText, m_settings.characterCodes, m_strError);
    if (!m_strError.isEmpty())
        return false;
    const double rate = m_settings.nSampleRate;
    const double wpmEnd = m_settings.dWpmEnd > 0.0 ? m_settings.dWpmEnd : m_settings.dWpm;
    const double jitter = std::clamp(m_settings.dJitterPercent, 0.0, 90.0) / 100.0;
    // Weighting lengthens each mark by a share of the element and shortens the gap after it.
    const double weight = std::clamp(m_settings.dWeight, 0.2, 5.0);
    const double stretch = (weight - 1.0) / (weight + 1.0);
    m_runs.clear();
    m_runs.reserve(units.size() + 2);
    double time = std::max(0.0, m_settings.dLeadInSec);
    m_runs.push_back({false, qint64(std::llround(time * rate))});
    for (size_t i = 0; i < units.size(); ++i) {
        const double progress = units.size() > 1 ? double(i) / double(units.size() - 1) : 0.0;
        const double wpm = std::max(1.0, m_settings.dWpm + (wpmEnd - m_settings.dWpm) * progress);
        double seconds = units[i] == 0 ? LINE_PAUSE_SEC : runSeconds(units[i], wpm);
        if (units[i] != 0)
            seconds += (units[i] > 0 ? stretch : -stretch) * 1.2 / wpm;
        if (jitter > 0.0)
            seconds *= 1.0 + jitter * (2.0 * nextUniform() - 1.0);
        time += seconds;
        m_runs.push_back({units[i] > 0, qint64(std::llround(time * rate))});
    }
    time += std::max(0.0, m_settings.dTailSec);
    m_runs.push_back({false, qint64(std::llround(time * rate))});
    m_nTotalSamples = m_runs.back().nEnd;
    m_nPosition = 0;
    m_nRunIndex = 0;
    m_dRamp = 0.0;
    return true;
}

double CwSynthesizer::runSeconds(int nUnits, double dWpm)
{
    // Farnsworth spacing sends the characters at full speed and the gaps between them slower.
    const bool spaced = nUnits <= -3 && m_settings.dFarnsworthWpm > 0.0;
    return std::abs(nUnits) * 1.2 / (spaced ? std::min(dWpm, m_settings.dFarnsworthWpm) : dWpm);
}

bool CwSynthesizer::AddNeighbour(const Settings& settings, const QString& strText, double dLevelDb)
{
    Settings neighbour = settings;
    neighbour.bNoise = false;
    neighbour.dAgcSec = 0.0; // the receiver's AGC acts once, on the sum
    neighbour.nSampleRate = m_settings.nSampleRate;
    neighbour.dAmplitude = m_dTone * std::pow(10.0, dLevelDb / 20.0);
    // Both tones and the noise must stay within full scale: lower everything together.
    const double peak = m_dTone + neighbour.dAmplitude + 4.0 * m_dNoiseSigma;
    m_dOutputGain = std::min(1.0, FULL_SCALE_HEADROOM / peak);
    m_pNeighbour = std::make_unique<CwSynthesizer>(neighbour);
    if (!m_pNeighbour->SetText(strText)) {
        m_strError = m_pNeighbour->ErrorString();
        m_pNeighbour.reset();
        return false;
    }
    // A neighbour that sends on after this signal ends keeps the recording going.
    if (m_pNeighbour->TotalSamples() > m_nTotalSamples) {
        m_nTotalSamples = m_pNeighbour->TotalSamples();
        m_runs.back().nEnd = m_nTotalSamples;
    }
    return true;
}

void CwSynthesizer::advanceTone(bool bKeyDown)
{
    // A keyer that starts each element's tone afresh, as some generators do.
    if (bKeyDown && !m_bWasKeyDown) {
        m_nMarkStart = m_nPosition;
        if (m_settings.bPhaseRestart)
            m_tone.Restart();
    }
    m_bWasKeyDown = bKeyDown;
    if (m_settings.dDriftHzPerSec == 0.0 && m_settings.dChirpHz == 0.0 &&
        m_settings.dPhaseNoise <= 0.0)
        return;
    const double rate = m_settings.nSampleRate;
    const double seconds = double(m_nPosition) / rate;
    double frequency = m_settings.dPitchHz + m_settings.dDriftHzPerSec * seconds;
    const double sinceMark = double(m_nPosition - m_nMarkStart) / rate;
    if (m_settings.dChirpHz != 0.0 && sinceMark < CHIRP_SEC)
        frequency += m_settings.dChirpHz * (1.0 - sinceMark / CHIRP_SEC);
    double omega = dsp::TWO_PI * frequency / rate;
    if (m_settings.dPhaseNoise > 0.0) {
        const double u = portableUniform(m_impairmentRandom) - 0.5;
        omega += m_settings.dPhaseNoise * std::sqrt(12.0 / rate) * u;
    }
    m_tone.SetStep(omega);
}

double CwSynthesizer::FadeMeanPowerDb(double dDepthDb)
{
    // The gain swings as a cosine between 1 and the floor: its mean square is the square of
    // its middle plus half the square of its swing.
    const double floor = FadeFloor(dDepthDb);
    const double middle = 0.5 * (1.0 + floor);
    const double swing = 0.5 * (1.0 - floor);
    return 10.0 * std::log10(middle * middle + 0.5 * swing * swing);
}

double CwSynthesizer::FadeFloor(double dDepthDb)
{
    return std::pow(10.0, -std::max(0.0, dDepthDb) / 20.0);
}

qint64 CwSynthesizer::Render(float* pOut, qint64 nMax)
{
    const double rate = m_settings.nSampleRate;
    const double qsbOmega = dsp::TWO_PI * m_settings.dQsbHz / rate;
    const double qsbFloor = FadeFloor(m_settings.dQsbDepthDb);
    qint64 written = 0;
    while (written < nMax && m_nPosition < m_nTotalSamples) {
        while (m_nRunIndex + 1 < m_runs.size() && m_nPosition >= m_runs[m_nRunIndex].nEnd)
            ++m_nRunIndex;
        const bool keyDown = m_runs[m_nRunIndex].bOn;
        advanceTone(keyDown);
        m_dRamp =
            keyDown ? std::min(1.0, m_dRamp + m_dRampStep) : std::max(0.0, m_dRamp - m_dRampStep);
        double gain = 0.5 - 0.5 * std::cos(dsp::PI * m_dRamp);
        if (m_settings.dQsbHz > 0.0)
            gain *= FadeGain(qsbFloor, qsbOmega * double(m_nPosition));
        double sample = m_dTone * gain * m_tone.Sin();
        if (m_dNoiseSigma > 0.0)
            sample += m_dNoiseSigma * m_noise.Next();
        if (m_settings.dCrashesPerSec > 0.0)
            sample += m_crashes.Next(m_impairmentRandom, m_dTone);
        pOut[written++] = float(sample);

        m_tone.Advance(m_nPosition);
        ++m_nPosition;
    }
    if (m_pNeighbour) {
        m_neighbourBlock.resize(size_t(written));
        const qint64 added = m_pNeighbour->Render(m_neighbourBlock.data(), written);
        for (qint64 i = 0; i < added; ++i)
            pOut[i] += m_neighbourBlock[size_t(i)];
        for (qint64 i = 0; i < written; ++i)
            pOut[i] = float(pOut[i] * m_dOutputGain);
    }
    if (m_settings.dAgcSec > 0.0)
        applyAgc(pOut, written);
    return written;
}

void CwSynthesizer::applyAgc(float* pSamples, qint64 nCount)
{
    // A peak detector with an instant attack and an exponential release: a crash far over
    // the tone cuts the gain of everything after it, which then creeps back.
    const double target = AGC_HEADROOM * m_dTone * m_dOutputGain;
    const double release = std::exp(-1.0 / (m_settings.dAgcSec * m_settings.nSampleRate));
    for (qint64 i = 0; i < nCount; ++i) {
        m_dAgcPeak = std::max(std::abs(double(pSamples[i])), m_dAgcPeak * release);
        if (m_dAgcPeak > target)
            pSamples[i] = float(pSamples[i] * target / m_dAgcPeak);
    }
}

std::vector<float> CwSynthesizer::RenderAll()
{
    std::vector<float> samples(size_t(std::max<qint64>(0, m_nTotalSamples - m_nPosition)));
    Render(samples.data(), qint64(samples.size()));
    return samples;
}

} // namespace cw
