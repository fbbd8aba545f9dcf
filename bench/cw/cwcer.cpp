// Character error rate of the CW demodulator against SNR, speed and timing jitter, optionally
// side by side with an external decoder (multimon-ng's MORSE_CW) run on the same recordings.
// The recordings come from our synthesizer or from ebook2cw (an independent generator, MP3
// converted with sox, noise added here).
// Each impairment of real signals can be added alone (--impairment, a list): weight0.7,
// weight1.4, rise15, farnsworth, drift, chirp, restart, wander, qsb (20 dB deep, at 0.5 Hz or
// --qsb-hz), crashes, agc (a crash a
// second that makes a receiver's AGC pump), neighbour (100 Hz below, 20 dB stronger, sending on
// after the wanted signal; decoded with the pitch given), mp3 (16 kbit/s) and ogg (lowest quality);
// ebook2cw makes mp3, ogg and farnsworth itself. Prints a TSV table: jitter, wpm, snr_db, texts,
// ours_cer, peer_cer, first_char_ok, generator, impairment, after_end (characters we decoded
// that began after the wanted signal's last element: read from noise or a neighbour).
//
//   cw_cer [--texts 20] [--snr-min -12] [--snr-max 20] [--snr-step 2] [--wpm 12,20,30,40]
//          [--wpm-range 8:50] [--jitter 0,20] [--seed 1] [--generator ours|ebook2cw]
//          [--impairment none] [--qsb-hz 0.5] [--peer] [--verbose] [--keep DIR]
// --verbose tells each miss with the pitch and speed found; --keep writes each missed recording
// into DIR as miss-SEED.wav.

#include "cwbenchsets.h"

#include "tools/cwdemodulator/audiofilewriter.h"

#include <QCoreApplication>
#include <QDir>
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

/// Writes a recording that was not decoded right into @p strDir, named by its seed, for study.
void keep(const std::vector<float>& samples, int nRate, const QString& strDir, quint32 uSeed)
{
    cw::AudioFileWriter writer;
    const QString path = QDir(strDir).filePath(QStringLiteral("miss-%1.wav").arg(uSeed));
    if (!writer.Open(path, nRate) || !writer.Write(samples.data(), qint64(samples.size())) ||
        !writer.Commit())
        std::fprintf(stderr, "cw_cer: cannot write %s\n", qPrintable(path));
}

/// One recording of a cell: the settings, what is done to them and how it is decoded.
struct Case
{
    cw::CwSynthesizer::Settings settings;
    QStringList ebook2cwOptions;
    QString lossyFormat;
    bool bNeighbour = false;
};

/// Applies the impairment @p name to @p c; false for an unknown name.
bool impair(const QString& name, Case& c)
{
    cw::CwSynthesizer::Settings& s = c.settings;
    if (name == QLatin1String("weight0.7") || name == QLatin1String("weight1.4"))
        s.dWeight = name.mid(6).toDouble();
    else if (name == QLatin1String("rise15"))
        s.dRiseMs = 15.0;
    else if (name == QLatin1String("farnsworth")) {
        s.dFarnsworthWpm = s.dWpm / 2.0;
        c.ebook2cwOptions = QStringList{QStringLiteral("-e"), QString::number(s.dFarnsworthWpm)};
    } else if (name == QLatin1String("drift"))
        s.dDriftHzPerSec = 2.0;
    else if (name == QLatin1String("chirp"))
        s.dChirpHz = 20.0;
    else if (name == QLatin1String("restart"))
        s.bPhaseRestart = true;
    else if (name == QLatin1String("wander"))
        s.dPhaseNoise = 3.0;
    else if (name == QLatin1String("qsb")) {
        s.dQsbHz = 0.5;
        s.dQsbDepthDb = 20.0;
    } else if (name == QLatin1String("crashes")) {
        s.dCrashesPerSec = 3.0;
        s.dCrashDb = 40.0;
    } else if (name == QLatin1String("agc")) {
        s.dCrashesPerSec = 1.0;
        s.dCrashDb = 40.0;
        s.dAgcSec = 0.3;
    } else if (name == QLatin1String("neighbour"))
        c.bNeighbour = true;
    else if (name == QLatin1String("mp3") || name == QLatin1String("ogg")) {
        c.lossyFormat = name;
        c.ebook2cwOptions =
            name == QLatin1String("mp3")
                ? QStringList{QStringLiteral("-b"), QStringLiteral("16")}
                : QStringList{QStringLiteral("-O"), QStringLiteral("-q"), QStringLiteral("0")};
    } else
        return name == QLatin1String("none");
    return true;
}

/// Whether ebook2cw can make impairment @p name itself; the rest only our synthesizer makes.
bool ebook2cwMakes(const QString& name)
{
    static const QStringList made{QStringLiteral("none"), QStringLiteral("farnsworth"),
                                  QStringLiteral("mp3"), QStringLiteral("ogg")};
    return made.contains(name);
}

/// Our synthesizer's recording of @p text, with the neighbour when asked for; @p nEnd receives
/// the sample at which the wanted signal's last element ends.
std::vector<float> synthesize(const Case& c, const QString& text, qint64& nEnd)
{
    cw::CwSynthesizer synthesizer(c.settings);
    synthesizer.SetText(text);
    nEnd = synthesizer.TotalSamples() -
           qint64(std::max(0.0, c.settings.dTailSec) * c.settings.nSampleRate);
    if (c.bNeighbour) {
        cw::CwSynthesizer::Settings neighbour = c.settings;
        neighbour.dPitchHz -= 100.0;
        neighbour.uSeed += 1;
        synthesizer.AddNeighbour(neighbour, text + QLatin1Char(' ') + text, 20.0);
    }
    return synthesizer.RenderAll();
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
    const double qsbHz = option("--qsb-hz", QStringLiteral("0.5")).toDouble();
    if (!(qsbHz > 0.0)) {
        std::fprintf(stderr, "cw_cer: --qsb-hz needs a rate above 0\n");
        return 2;
    }
    QList<double> speeds = numberList(option("--wpm", QStringLiteral("12,20,30,40")));
    const QStringList range = option("--wpm-range", QString()).split(QLatin1Char(':'));
    if (range.size() == 2) {
        speeds.clear();
        for (int wpm = range[0].toInt(); wpm <= range[1].toInt(); ++wpm)
            speeds << wpm;
    }
    const QString generatorName = option("--generator", QStringLiteral("ours"));
    const QStringList impairments =
        option("--impairment", QStringLiteral("none")).split(QLatin1Char(','));
    for (const QString& name : impairments) {
        Case probe;
        if (!impair(name, probe)) {
            std::fprintf(stderr, "cw_cer: unknown impairment %s\n", qPrintable(name));
            return 2;
        }
    }
    const bool ebook2cw = generatorName == QLatin1String("ebook2cw");
    if (!ebook2cw && generatorName != QLatin1String("ours")) {
        std::fprintf(stderr, "cw_cer: unknown generator %s (ours or ebook2cw)\n",
                     qPrintable(generatorName));
        return 2;
    }
    for (const QString& name : impairments) {
        if (ebook2cw && !ebook2cwMakes(name)) {
            std::fprintf(stderr,
                         "cw_cer: ebook2cw cannot make the impairment %s (only none, "
                         "farnsworth, mp3 and ogg); leave out --generator ebook2cw for it\n",
                         qPrintable(name));
            return 2;
        }
    }
    // ebook2cw keys on its own exact timing: its recordings have no jitter to set.
    const QList<double> jitters =
        numberList(option("--jitter", ebook2cw ? QStringLiteral("0") : QStringLiteral("0,20")));
    if (ebook2cw && (jitters.size() != 1 || jitters[0] != 0.0)) {
        std::fprintf(stderr, "cw_cer: ebook2cw's timing has no jitter (--jitter 0)\n");
        return 2;
    }
    const quint32 seed = option("--seed", QStringLiteral("1")).toUInt();
    const bool withPeer = args.contains(QStringLiteral("--peer"));
    const QString keepDir = option("--keep", QString());
    const bool verbose = args.contains(QStringLiteral("--verbose"));
    const int rate = 8000;

    QTemporaryDir dir;
    std::printf("jitter_pct\twpm\tsnr_db\ttexts\tours_cer\tpeer_cer\tfirst_char_ok\tgenerator\t"
                "impairment\tafter_end\n");
    int caseIndex = 0;
    for (const QString& impairment : impairments) {
        for (double jitter : jitters) {
            for (double wpm : speeds) {
                for (double snr = snrMin; snr <= snrMax + 1e-9; snr += snrStep) {
                    // The same texts for every cell of one speed, so rows differ only by noise.
                    std::mt19937 textGenerator(seed * 7919u + quint32(wpm));
                    long errors = 0;
                    long peerErrors = 0;
                    long length = 0;
                    int firstRight = 0;
                    long afterEnd = 0;
                    for (int t = 0; t < texts; ++t) {
                        const QString text = cwbench::randomText(textGenerator, 8);
                        Case c;
                        cw::CwSynthesizer::Settings& settings = c.settings;
                        settings.dWpm = wpm;
                        settings.dPitchHz = 500.0 + double(textGenerator() % 500);
                        settings.bNoise = true;
                        settings.dSnrDb = snr;
                        settings.dJitterPercent = jitter;
                        settings.nSampleRate = rate;
                        settings.uSeed = seed + quint32(t) * 1000u + quint32(snr * 10 + 500);
                        settings.dLeadInSec = 0.3 + 0.1 * (t % 5);
                        impair(impairment, c);
                        if (c.settings.dQsbHz > 0.0)
                            c.settings.dQsbHz = qsbHz;
                        std::vector<float> samples;
                        bool made = true;
                        qint64 wantedEnd = 0;
                        if (ebook2cw) {
                            samples = cwbench::renderEbook2cw(text, wpm, settings.dPitchHz, rate,
                                                              dir.path(), c.ebook2cwOptions);
                            made = !samples.empty();
                            wantedEnd = qint64(samples.size());
                            cwbench::addNoiseAt(samples, rate,
                                                cwbench::keyedTonePower(samples, rate), snr,
                                                settings.uSeed);
                        } else {
                            samples = synthesize(c, text, wantedEnd);
                            if (!c.lossyFormat.isEmpty())
                                made = cwbench::lossyRoundTrip(samples, rate, c.lossyFormat,
                                                               dir.path());
                        }
                        if (!made) {
                            std::fprintf(stderr, "cw_cer: ebook2cw or sox failed "
                                                 "(scripts/install-deps.sh --extra)\n");
                            return 1;
                        }
                        double foundWpm = 0.0;
                        double foundPitch = 0.0;
                        std::vector<std::int64_t> positions;
                        const std::vector<int> codes =
                            cwbench::demodulate(samples, rate, 4096, &foundWpm, &foundPitch,
                                                c.bNeighbour ? settings.dPitchHz : 0.0, &positions);
                        const QString decoded = cwbench::normalized(cwbench::codesToText(codes));
                        // A dot's length past the last element: the wanted signal's own
                        // decisions may be placed that late.
                        const QString stray = cwbench::textAfter(
                            codes, positions, wantedEnd + qint64(1.2 / wpm * rate));
                        afterEnd += QString(stray).remove(QLatin1Char(' ')).size();
                        if (verbose && !stray.isEmpty())
                            std::fprintf(
                                stderr, "%g wpm %g dB (pitch %g, seed %u): after the end '%s'\n",
                                wpm, snr, settings.dPitchHz, settings.uSeed, qPrintable(stray));
                        const int distance = cwbench::editDistance(text, decoded);
                        errors += distance;
                        length += text.size();
                        if (!decoded.isEmpty() && decoded[0] == text[0])
                            ++firstRight;
                        if (verbose && distance > 0)
                            std::fprintf(stderr,
                                         "%g wpm %g dB (pitch %g, seed %u; found %.1f Hz, "
                                         "%.1f wpm): '%s' -> '%s'\n",
                                         wpm, snr, settings.dPitchHz, settings.uSeed, foundPitch,
                                         foundWpm, qPrintable(text), qPrintable(decoded));
                        if (!keepDir.isEmpty() && distance > 0)
                            keep(samples, rate, keepDir, settings.uSeed);
                        if (withPeer) {
                            const QString peer = cwbench::normalized(
                                peerDecode(samples, rate, wpm, dir, caseIndex++));
                            peerErrors += cwbench::editDistance(text, peer);
                        }
                    }
                    const double cer = double(errors) / double(std::max(1L, length));
                    const double peerCer =
                        withPeer ? double(peerErrors) / double(std::max(1L, length)) : NAN;
                    std::printf("%g\t%g\t%g\t%d\t%.4f\t%.4f\t%d\t%s\t%s\t%ld\n", jitter, wpm, snr,
                                texts, cer, peerCer, firstRight, qPrintable(generatorName),
                                qPrintable(impairment), afterEnd);
                    std::fflush(stdout);
                }
            }
        }
    }
    return 0;
}
