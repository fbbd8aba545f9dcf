// Character error rate of the CW demodulator against SNR, speed and timing jitter, optionally
// side by side with an external decoder (multimon-ng's MORSE_CW) run on the same recordings.
// The recordings come from our synthesizer or from ebook2cw (an independent generator, MP3
// converted with sox, noise added here).
// Prints a TSV table: jitter, wpm, snr_db, texts, ours_cer, peer_cer, first_char_ok, generator.
//
//   cw_cer [--texts 20] [--snr-min -12] [--snr-max 20] [--snr-step 2] [--wpm 12,20,30,40]
//          [--wpm-range 8:50] [--jitter 0,20] [--seed 1] [--generator ours|ebook2cw]
//          [--peer] [--verbose]

#include "cwbenchsupport.h"

#include "tools/cwdemodulator/audiofilewriter.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

QList<double> numberList(const QString& text)
{
    QList<double> values;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        values << part.toDouble();
    return values;
}

/// Decodes @p samples with multimon-ng after converting them to its raw 22050 Hz input.
QString peerDecode(const std::vector<float>& samples, int nRate, double dWpm, QTemporaryDir& dir,
                   int nIndex)
{
    const QString wav = dir.filePath(QStringLiteral("case%1.wav").arg(nIndex));
    const QString raw = dir.filePath(QStringLiteral("case%1.raw").arg(nIndex));
    cw::AudioFileWriter writer;
    if (!writer.Open(wav, nRate) || !writer.Write(samples.data(), qint64(samples.size())) ||
        !writer.Commit())
        return QString();
    if (QProcess::execute(QStringLiteral("sox"),
                          {QStringLiteral("-V1"), wav, QStringLiteral("-t"), QStringLiteral("raw"),
                           QStringLiteral("-r"), QStringLiteral("22050"), QStringLiteral("-e"),
                           QStringLiteral("signed"), QStringLiteral("-b"), QStringLiteral("16"),
                           QStringLiteral("-c"), QStringLiteral("1"), raw}) != 0)
        return QString();
    QProcess peer;
    // Its auto timing starts from the true element length: the most favourable start.
    peer.start(QStringLiteral("multimon-ng"),
               {QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("-a"),
                QStringLiteral("MORSE_CW"), QStringLiteral("-d"),
                QString::number(int(std::lround(1200.0 / dWpm))), QStringLiteral("-t"),
                QStringLiteral("raw"), raw});
    peer.waitForFinished(-1);
    QString text = QString::fromLatin1(peer.readAllStandardOutput());
    text.remove(QStringLiteral("MORSE_CW:"));
    QFile::remove(wav);
    QFile::remove(raw);
    return text;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const char* name, const QString& fallback) {
        const int at = args.indexOf(QLatin1String(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const int texts = option("--texts", QStringLiteral("20")).toInt();
    const double snrMin = option("--snr-min", QStringLiteral("-12")).toDouble();
    const double snrMax = option("--snr-max", QStringLiteral("20")).toDouble();
    const double snrStep = option("--snr-step", QStringLiteral("2")).toDouble();
    QList<double> speeds = numberList(option("--wpm", QStringLiteral("12,20,30,40")));
    const QStringList range = option("--wpm-range", QString()).split(QLatin1Char(':'));
    if (range.size() == 2) {
        speeds.clear();
        for (int wpm = range[0].toInt(); wpm <= range[1].toInt(); ++wpm)
            speeds << wpm;
    }
    const QString generatorName = option("--generator", QStringLiteral("ours"));
    const bool ebook2cw = generatorName == QLatin1String("ebook2cw");
    const QList<double> jitters = numberList(option("--jitter", QStringLiteral("0,20")));
    const quint32 seed = option("--seed", QStringLiteral("1")).toUInt();
    const bool withPeer = args.contains(QStringLiteral("--peer"));
    const bool verbose = args.contains(QStringLiteral("--verbose"));
    const int rate = 8000;

    QTemporaryDir dir;
    std::printf("jitter_pct\twpm\tsnr_db\ttexts\tours_cer\tpeer_cer\tfirst_char_ok\tgenerator\n");
    int caseIndex = 0;
    for (double jitter : jitters) {
        for (double wpm : speeds) {
            for (double snr = snrMin; snr <= snrMax + 1e-9; snr += snrStep) {
                // The same texts for every cell of one speed, so rows differ only by noise.
                std::mt19937 textGenerator(seed * 7919u + quint32(wpm));
                long errors = 0;
                long peerErrors = 0;
                long length = 0;
                int firstRight = 0;
                for (int t = 0; t < texts; ++t) {
                    const QString text = cwbench::randomText(textGenerator, 8);
                    cw::CwSynthesizer::Settings settings;
                    settings.dWpm = wpm;
                    settings.dPitchHz = 500.0 + double(textGenerator() % 500);
                    settings.bNoise = true;
                    settings.dSnrDb = snr;
                    settings.dJitterPercent = jitter;
                    settings.nSampleRate = rate;
                    settings.uSeed = seed + quint32(t) * 1000u + quint32(snr * 10 + 500);
                    settings.dLeadInSec = 0.3 + 0.1 * (t % 5);
                    std::vector<float> samples;
                    if (ebook2cw) {
                        samples =
                            cwbench::renderEbook2cw(text, wpm, settings.dPitchHz, rate, dir.path());
                        if (samples.empty()) {
                            std::fprintf(stderr, "cw_cer: ebook2cw or sox failed "
                                                 "(scripts/install-deps.sh --extra)\n");
                            return 1;
                        }
                        cwbench::addNoise(samples, rate, snr, settings.uSeed);
                    } else {
                        cw::CwSynthesizer synthesizer(settings);
                        synthesizer.SetText(text);
                        samples = synthesizer.RenderAll();
                    }
                    const QString decoded = cwbench::normalized(
                        cwbench::codesToText(cwbench::demodulate(samples, rate)));
                    const int distance = cwbench::editDistance(text, decoded);
                    errors += distance;
                    length += text.size();
                    if (!decoded.isEmpty() && decoded[0] == text[0])
                        ++firstRight;
                    if (verbose && distance > 0)
                        std::fprintf(stderr, "%g wpm %g dB (pitch %g, seed %u): '%s' -> '%s'\n",
                                     wpm, snr, settings.dPitchHz, settings.uSeed, qPrintable(text),
                                     qPrintable(decoded));
                    if (withPeer) {
                        const QString peer =
                            cwbench::normalized(peerDecode(samples, rate, wpm, dir, caseIndex++));
                        peerErrors += cwbench::editDistance(text, peer);
                    }
                }
                const double cer = double(errors) / double(std::max(1L, length));
                const double peerCer =
                    withPeer ? double(peerErrors) / double(std::max(1L, length)) : NAN;
                std::printf("%g\t%g\t%g\t%d\t%.4f\t%.4f\t%d\t%s\n", jitter, wpm, snr, texts, cer,
                            peerCer, firstRight, qPrintable(generatorName));
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
