#include "cwbenchsets.h"

#include "tools/morsecore/morsesymbolcode.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cmath>

namespace cwbench {

namespace {

const char* const WORDS[] = {
    "CQ",      "DE",     "TEST",    "NAME",  "QTH",      "RST",    "UR",     "TNX",    "FER",
    "CALL",    "WX",     "HR",      "RIG",   "ANT",      "PWR",    "BEST",   "GOOD",   "MORNING",
    "EVENING", "HELLO",  "THE",     "AND",   "RADIO",    "SIGNAL", "STRONG", "WEAK",   "COPY",
    "AGAIN",   "PLEASE", "STATION", "BAND",  "OPEN",     "CLOSED", "SUNNY",  "RAIN",   "COLD",
    "WARM",    "WIND",   "TODAY",   "WORK",  "HOME",     "SPEED",  "KEY",    "PADDLE", "BUG",
    "WIRE",    "DIPOLE", "BEAM",    "TOWER", "POWER",    "QSL",    "VIA",    "BURO",   "DIRECT",
    "SOON",    "LATER",  "THANKS",  "FINE",  "BUSINESS", "OK",
};
const char* const PREFIXES[] = {"DL", "G",  "K",  "W",  "N",  "VE", "JA", "F",  "I",  "EA",
                                "OH", "SM", "PA", "ON", "OK", "SP", "HA", "YU", "VK", "ZL"};

QString randomLetters(std::mt19937& generator, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar('A' + int(generator() % 26));
    return text;
}

/// Samples the codec may have delayed the audio by at most (an MP3 encoder's priming samples
/// and its decoder's delay are about a thousand), and the stretch compared to find them.
constexpr double MOST_DELAY_SEC = 0.25;
constexpr double COMPARED_SEC = 1.0;

/// The lag at which @p after best matches @p before, searched from the first loud sample on,
/// so that positions measured on the recording hold on its lossy copy.
size_t codecDelay(const std::vector<float>& before, const std::vector<float>& after, int nRate)
{
    float peak = 0.0f;
    for (const float sample : before)
        peak = std::max(peak, std::abs(sample));
    const auto loud = std::find_if(before.begin(), before.end(),
                                   [peak](float sample) { return std::abs(sample) > 0.5f * peak; });
    const size_t start = size_t(loud - before.begin());
    const size_t compared = std::min(size_t(COMPARED_SEC * nRate), before.size() - start);
    size_t best = 0;
    double bestMatch = -1.0;
    for (size_t lag = 0; lag <= size_t(MOST_DELAY_SEC * nRate); ++lag) {
        if (start + lag + compared > after.size())
            break;
        double match = 0.0;
        for (size_t i = 0; i < compared; ++i)
            match += double(before[start + i]) * double(after[start + lag + i]);
        if (match > bestMatch) {
            bestMatch = match;
            best = lag;
        }
    }
    return best;
}

} // namespace

QString randomText(std::mt19937& generator, int nTokens)
{
    QStringList tokens;
    for (int i = 0; i < nTokens; ++i) {
        const unsigned kind = generator() % 4;
        if (kind < 2) {
            tokens << QString::fromLatin1(WORDS[generator() % (sizeof(WORDS) / sizeof(*WORDS))]);
        } else if (kind == 2) {
            QString call =
                QString::fromLatin1(PREFIXES[generator() % (sizeof(PREFIXES) / sizeof(*PREFIXES))]);
            call += QChar('0' + int(generator() % 10));
            call += randomLetters(generator, 1 + int(generator() % 3));
            if (generator() % 8 == 0)
                call += QStringLiteral("/P");
            tokens << call;
        } else {
            const int digits = 1 + int(generator() % 4);
            QString number;
            for (int d = 0; d < digits; ++d)
                number += QChar('0' + int(generator() % 10));
            tokens << number;
        }
    }
    return tokens.join(QLatin1Char(' '));
}

namespace {

/// The mean power of each 5 ms stretch of @p samples.
std::vector<double> stretchPowers(const std::vector<float>& samples, int nRate)
{
    const size_t stretch = std::max<size_t>(1, size_t(nRate / 200));
    std::vector<double> powers;
    for (size_t start = 0; start + stretch <= samples.size(); start += stretch) {
        double sum = 0.0;
        for (size_t i = start; i < start + stretch; ++i)
            sum += double(samples[i]) * double(samples[i]);
        powers.push_back(sum / double(stretch));
    }
    return powers;
}

} // namespace

double loudestStretchPower(const std::vector<float>& samples, int nRate)
{
    const std::vector<double> powers = stretchPowers(samples, nRate);
    return powers.empty() ? 0.0 : *std::max_element(powers.begin(), powers.end());
}

double keyedTonePower(const std::vector<float>& samples, int nRate)
{
    std::vector<double> powers = stretchPowers(samples, nRate);
    if (powers.empty())
        return 0.0;
    const double loudest = *std::max_element(powers.begin(), powers.end());
    powers.erase(std::remove_if(powers.begin(), powers.end(),
                                [loudest](double power) { return power < 0.5 * loudest; }),
                 powers.end());
    const auto middle = powers.begin() + std::ptrdiff_t(powers.size() / 2);
    std::nth_element(powers.begin(), middle, powers.end());
    return *middle;
}

QString textAfter(const std::vector<int>& codes, const std::vector<std::int64_t>& positions,
                  std::int64_t nEnd)
{
    // A character starts after the code that ended the one before it.
    size_t characterStart = 0;
    for (size_t i = 0; i < codes.size() && i < positions.size(); ++i) {
        const int code = codes[i] & 127;
        if (code == morse::SYMBOL_DOT || code == morse::SYMBOL_DASH) {
            if (positions[i] > nEnd)
                return normalized(codesToText(
                    std::vector<int>(codes.begin() + std::ptrdiff_t(characterStart), codes.end())));
        } else if (code == morse::SYMBOL_END_OF_CHARACTER || code == morse::SYMBOL_END_OF_WORD ||
                   code == morse::SYMBOL_END_OF_LINE) {
            characterStart = i + 1;
        }
    }
    return QString();
}

std::vector<float> renderEbook2cw(const QString& text, double dWpm, double dPitchHz, int nRate,
                                  const QString& strWorkDir, const QStringList& extraOptions,
                                  const QStringList& soxEffects)
{
    QDir dir(strWorkDir);
    const QString base = dir.filePath(QStringLiteral("ebook2cw"));
    QProcess generator;
    generator.setWorkingDirectory(strWorkDir);
    // An empty chapter separator keeps the output in one file without a number.
    QStringList options{QStringLiteral("-c"),
                        QString(),
                        QStringLiteral("-p"),
                        QStringLiteral("-w"),
                        QString::number(dWpm),
                        QStringLiteral("-f"),
                        QString::number(dPitchHz),
                        QStringLiteral("-o"),
                        base};
    options += extraOptions;
    generator.start(QStringLiteral("ebook2cw"), options);
    generator.write(text.toLatin1() + '\n');
    generator.closeWriteChannel();
    if (!generator.waitForFinished(-1) || generator.exitCode() != 0)
        return {};
    const QStringList made = dir.entryList({QStringLiteral("ebook2cw.*")}, QDir::Files);
    if (made.isEmpty())
        return {};
    const QString source = dir.filePath(made.first());
    const QString wav = dir.filePath(QStringLiteral("ebook2cw-converted.wav"));
    // sox puts the effects given before the rate conversion it adds for the output, and its
    // tremolo there came out 3 dB under the recording's level at its peak: the conversion is
    // asked for first, so that the effects take the recording at our rate.
    QStringList effects;
    if (!soxEffects.isEmpty())
        effects << QStringLiteral("rate") << QString::number(nRate) << soxEffects;
    const int converted = QProcess::execute(
        QStringLiteral("sox"),
        QStringList{QStringLiteral("-V1"), source, QStringLiteral("-r"), QString::number(nRate),
                    QStringLiteral("-e"), QStringLiteral("floating-point"), QStringLiteral("-c"),
                    QStringLiteral("1"), wav} +
            effects);
    QFile::remove(source);
    std::vector<float> samples;
    if (converted == 0)
        samples = readAudio(wav);
    QFile::remove(wav);
    return samples;
}

bool lossyRoundTrip(std::vector<float>& samples, int nRate, const QString& strFormat,
                    const QString& strWorkDir)
{
    QDir dir(strWorkDir);
    const QString wav = dir.filePath(QStringLiteral("lossy-in.wav"));
    const QString coded = dir.filePath(QStringLiteral("lossy.") + strFormat);
    const QString back = dir.filePath(QStringLiteral("lossy-out.wav"));
    if (!writeAudio(wav, samples, nRate))
        return false;
    const QString quality =
        strFormat == QLatin1String("mp3") ? QStringLiteral("16") : QStringLiteral("-1");
    const bool ok =
        QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-V1"), wav, QStringLiteral("-C"),
                                                  quality, coded}) == 0 &&
        QProcess::execute(QStringLiteral("sox"),
                          {QStringLiteral("-V1"), coded, QStringLiteral("-r"),
                           QString::number(nRate), QStringLiteral("-e"),
                           QStringLiteral("floating-point"), back}) == 0;
    if (ok) {
        // The codec's delay is taken out, so that the signal ends where it ended before.
        std::vector<float> decoded = readAudio(back);
        const size_t delay = codecDelay(samples, decoded, nRate);
        decoded.erase(decoded.begin(), decoded.begin() + std::ptrdiff_t(delay));
        samples = std::move(decoded);
    }
    for (const QString& file : {wav, coded, back})
        QFile::remove(file);
    return ok && !samples.empty();
}

} // namespace cwbench
