// Character error rate of the CW demodulator against SNR, speed and timing jitter, optionally
// side by side with an external decoder (multimon-ng's MORSE_CW) run on the same recordings.
// The recordings come from our synthesizer or from ebook2cw (an independent generator, MP3
// converted with sox, noise added here).
// Each impairment of real signals can be added alone (--impairment, a list): weight0.7,
// weight1.4, rise15, farnsworth, drift, chirp, restart, wander, qsb (20 dB deep, at 0.5 Hz or
// --qsb-hz; its SNR the fade's peak's, or with --qsb-snr mean its mean power's), crashes, agc (a
// crash a second that makes a receiver's AGC pump), neighbour (100 Hz below, 20 dB stronger,
// sending on after the wanted signal; decoded with the pitch given), mp3 (16 kbit/s) and ogg
// (lowest quality); several join with '+' (restart+qsb). ebook2cw makes mp3, ogg and farnsworth
// itself, and sox fades its tones for qsb (its tremolo: a fade of the same shape, made by code not
// ours). Prints a TSV table: jitter, wpm, snr_db, texts, ours_cer, peer_cer, first_char_ok,
// generator, impairment, after_end (characters we decoded that began after the wanted signal's last
// element: read from noise or a neighbour).
//
//   cw_cer [--texts 20] [--snr-min -12] [--snr-max 20] [--snr-step 2] [--wpm 12,20,30,40]
//          [--wpm-range 8:50] [--jitter 0,20] [--seed 1] [--generator ours|ebook2cw]
//          [--ebook2cw-rate 11025] [--impairment none] [--qsb-hz 0.5] [--qsb-snr peak|mean]
//          [--reader ours|ideal] [--peer] [--verbose] [--keep DIR]
// --verbose tells each miss with the pitch and speed found; --keep writes each missed recording
// into DIR as miss-SEED.wav. --reader ideal reads each text with cwbench::CwIdealReader instead
// of making a recording (a steady or faded tone of ours, no jitter): the ours_cer column is then
// what a reader that knew the timing, the level and the phase would miss, the floor of the cell.

#include "cwbenchsets.h"
#include "cwidealreader.h"

#include "tools/cwdemodulator/audiofilewriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

/// How far a fade's loudest 5 ms may stay under the recording's: at 2 Hz the marks that meet
/// a peak are within about 50 ms of it.
constexpr double FADE_PEAK_LOSS_DB = 1.0;

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
bool impairOne(const QString& name, Case& c)
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

/// Applies the impairments @p names, one or several joined by '+' (restart+qsb), to @p c;
/// false where one is unknown.
bool impair(const QString& names, Case& c)
{
    const QStringList parts = names.split(QLatin1Char('+'));
    return std::all_of(parts.begin(), parts.end(),
                       [&c](const QString& name) { return impairOne(name, c); });
}

/// Whether impairment @p name can be made on ebook2cw's recordings (by ebook2cw itself, or a
/// fade by sox); the rest only our synthesizer makes.
bool ebook2cwMakes(const QString& name)
{
    static const QStringList made{QStringLiteral("none"), QStringLiteral("farnsworth"),
                                  QStringLiteral("qsb"), QStringLiteral("mp3"),
                                  QStringLiteral("ogg")};
    return made.contains(name);
}

/// ebook2cw's recording of @p text for @p c, in @p strWorkDir, with noise at the SNR the settings
/// give; empty when a tool failed. A fade is sox's tremolo, which has our synthesizer's shape
/// (a raised cosine in amplitude, at its peak when the recording starts) in code of its own.
std::vector<float> renderEbook2cwCase(const Case& c, const QString& text, int nRate,
                                      const QString& strWorkDir)
{
    const cw::CwSynthesizer::Settings& s = c.settings;
    std::vector<float> samples =
        cwbench::renderEbook2cw(text, s.dWpm, s.dPitchHz, nRate, strWorkDir, c.ebook2cwOptions);
    if (samples.empty())
        return samples;
    // The SNR is of the key-down power before any fade, the fade's peak, as for our tones.
    const double power = cwbench::keyedTonePower(samples, nRate);
    if (s.dQsbHz > 0.0) {
        const double depthPercent = 100.0 * (1.0 - std::pow(10.0, -s.dQsbDepthDb / 20.0));
        const double loudest = cwbench::loudestStretchPower(samples, nRate);
        samples = cwbench::renderEbook2cw(
            text, s.dWpm, s.dPitchHz, nRate, strWorkDir, c.ebook2cwOptions,
            {QStringLiteral("tremolo"), QString::number(s.dQsbHz), QString::number(depthPercent)});
        if (samples.empty())
            return samples;
        // The fade's peaks meet marks at their own level; a fade that came out weaker would
        // state an SNR the recording does not have.
        const double lossDb =
            10.0 * std::log10(loudest / cwbench::loudestStretchPower(samples, nRate));
        if (!(lossDb <= FADE_PEAK_LOSS_DB)) {
            std::fprintf(stderr, "cw_cer: sox's fade came out %.1f dB under the recording\n",
                         lossDb);
            return {};
        }
    }
    cwbench::addNoiseAt(samples, nRate, power, s.dSnrDb, s.uSeed);
    return samples;
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

/// The table's options, read and checked; a malformed value is an error, not a default.
struct Options
{
    int texts = 20;
    double snrMin = -12.0;
    double snrMax = 20.0;
    double snrStep = 2.0;
    double qsbHz = 0.5;
    bool qsbMeanSnr = false; ///< a fading tone's SNR is its mean power's, not its peak's
    QList<double> speeds;
    QList<double> jitters;
    QString generatorName;
    bool ebook2cw = false;
    int ebook2cwRate = 11025; ///< the rate ebook2cw renders at, before sox converts it to ours
    QStringList impairments;
    quint32 seed = 1;
    bool withPeer = false;
    QString keepDir;
    bool verbose = false;
    bool idealReader = false; ///< read each text with CwIdealReader, not from a recording
};

bool fail(const char* message, const QString& what = QString())
{
    std::fprintf(stderr, "cw_cer: %s%s\n", message, qPrintable(what));
    return false;
}

bool readNumber(const QCommandLineParser& parser, const QString& name, double& value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    value = parser.value(name).toDouble(&ok);
    return ok && std::isfinite(value) ? true : fail("not a number for --", name);
}

bool readNumberList(const QString& text, const char* name, QList<double>& values)
{
    values.clear();
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        values << part.toDouble(&ok);
        if (!ok)
            return fail("not a list of numbers for --", QLatin1String(name));
    }
    return !values.isEmpty() || fail("an empty list for --", QLatin1String(name));
}

bool readSpeeds(const QCommandLineParser& parser, Options& options)
{
    if (!parser.isSet(QStringLiteral("wpm-range")))
        return readNumberList(parser.value(QStringLiteral("wpm")), "wpm", options.speeds);
    const QStringList range = parser.value(QStringLiteral("wpm-range")).split(QLatin1Char(':'));
    bool lowOk = false;
    bool highOk = false;
    const int low = range.value(0).toInt(&lowOk);
    const int high = range.size() == 2 ? range[1].toInt(&highOk) : 0;
    if (!lowOk || !highOk || low < 1 || high < low)
        return fail("--wpm-range needs LOW:HIGH in whole WPM");
    options.speeds.clear();
    for (int wpm = low; wpm <= high; ++wpm)
        options.speeds << wpm;
    return true;
}

bool readImpairments(const QCommandLineParser& parser, Options& options)
{
    options.impairments = parser.value(QStringLiteral("impairment")).split(QLatin1Char(','));
    for (const QString& name : options.impairments) {
        Case probe;
        if (!impair(name, probe))
            return fail("unknown impairment ", name);
        // ebook2cw keys its own timing and makes only these impairments itself.
        const QStringList parts = name.split(QLatin1Char('+'));
        if (options.ebook2cw && !std::all_of(parts.begin(), parts.end(), ebook2cwMakes))
            return fail("ebook2cw's recordings cannot have the impairment (only none, "
                        "farnsworth, qsb, mp3 and ogg); leave out --generator ebook2cw for it: ",
                        name);
    }
    return true;
}

/// The ideal reader models only our synthesizer's steady and faded tones on exact timing.
bool readReader(const QCommandLineParser& parser, Options& options)
{
    const QString reader = parser.value(QStringLiteral("reader"));
    options.idealReader = reader == QLatin1String("ideal");
    if (!options.idealReader && reader != QLatin1String("ours"))
        return fail("unknown reader (ours or ideal): ", reader);
    if (!options.idealReader)
        return true;
    if (options.ebook2cw || options.withPeer || !options.keepDir.isEmpty())
        return fail("--reader ideal makes no recording: leave out --generator ebook2cw, --peer "
                    "and --keep");
    for (const QString& name : options.impairments) {
        if (name != QLatin1String("none") && name != QLatin1String("qsb"))
            return fail("--reader ideal reads only steady or faded tones (none or qsb), not ",
                        name);
    }
    if (std::any_of(options.jitters.begin(), options.jitters.end(),
                    [](double jitter) { return jitter != 0.0; }))
        return fail("--reader ideal keys on exact timing (--jitter 0)");
    return true;
}

/// What CwIdealReader reads of @p text keyed with @p settings.
QString readIdeally(const cw::CwSynthesizer::Settings& settings, const QString& text)
{
    cwbench::CwIdealReader::Settings ideal;
    ideal.dWpm = settings.dWpm;
    ideal.dSnrDb = settings.dSnrDb;
    ideal.dQsbHz = settings.dQsbHz;
    ideal.dQsbDepthDb = settings.dQsbDepthDb;
    ideal.dLeadInSec = settings.dLeadInSec;
    ideal.uSeed = settings.uSeed;
    return cwbench::CwIdealReader(ideal).Read(text);
}

bool readOptions(const QCoreApplication& app, Options& options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Character error rate of the CW demodulator against SNR, speed and timing jitter, "
        "printed as a TSV table."));
    parser.addHelpOption();
    auto valued = [&](const char* name, const char* help, const char* fallback) {
        QString text = QLatin1String(help);
        if (*fallback)
            text += QStringLiteral(" Default: %1.").arg(QLatin1String(fallback));
        parser.addOption(QCommandLineOption(QLatin1String(name), text, QStringLiteral("value"),
                                            QLatin1String(fallback)));
    };
    valued("texts", "Texts per cell.", "20");
    valued("snr-min", "Lowest SNR in dB (2500 Hz).", "-12");
    valued("snr-max", "Highest SNR in dB.", "20");
    valued("snr-step", "SNR step in dB.", "2");
    valued("wpm", "Speeds in WPM, a comma-separated list.", "12,20,30,40");
    valued("wpm-range", "Every whole speed from LOW to HIGH WPM (LOW:HIGH), instead of --wpm.", "");
    valued("jitter", "Timing jitter in % of an element, a list (0 for ebook2cw).", "0,20");
    valued("seed", "Seed of the texts, noise and impairments.", "1");
    valued("generator", "ours or ebook2cw.", "ours");
    valued("ebook2cw-rate",
           "Sample rate in Hz ebook2cw renders at (its own default); sox converts it to 8000.",
           "11025");
    valued("impairment",
           "none, weight0.7, weight1.4, rise15, farnsworth, drift, chirp, restart, wander, qsb, "
           "crashes, agc, neighbour, mp3, ogg, or several joined by + (restart+qsb); a "
           "comma-separated list.",
           "none");
    valued("qsb-hz", "Fading rate of the qsb impairment in Hz.", "0.5");
    valued("qsb-snr",
           "What a fading tone's SNR is of: the fade's peak, or its mean power over a period.",
           "peak");
    valued("keep", "Write each missed recording into this folder.", "");
    valued("reader",
           "ours, or ideal: what a reader that knew the timing, level and phase of a steady or "
           "faded tone of ours would read.",
           "ours");
    parser.addOption(
        QCommandLineOption(QStringLiteral("peer"), QStringLiteral("Decode with multimon-ng too.")));
    parser.addOption(QCommandLineOption(QStringLiteral("verbose"),
                                        QStringLiteral("Tell each miss, with pitch and speed.")));
    if (!parser.parse(app.arguments()))
        return fail("", parser.errorText() + QStringLiteral(" (--help)"));
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument ", parser.positionalArguments().first());

    bool textsOk = false;
    options.texts = parser.value(QStringLiteral("texts")).toInt(&textsOk);
    bool seedOk = false;
    options.seed = parser.value(QStringLiteral("seed")).toUInt(&seedOk);
    bool rateOk = false;
    options.ebook2cwRate = parser.value(QStringLiteral("ebook2cw-rate")).toInt(&rateOk);
    if (!textsOk || options.texts < 1 || !seedOk)
        return fail("--texts needs a count of at least 1 and --seed a whole number");
    if (!rateOk || options.ebook2cwRate < 8000)
        return fail("--ebook2cw-rate needs a whole number of Hz, at least 8000");
    if (!readNumber(parser, QStringLiteral("snr-min"), options.snrMin) ||
        !readNumber(parser, QStringLiteral("snr-max"), options.snrMax) ||
        !readNumber(parser, QStringLiteral("snr-step"), options.snrStep) ||
        !readNumber(parser, QStringLiteral("qsb-hz"), options.qsbHz))
        return false;
    if (!(options.snrStep > 0.0) || !(options.qsbHz > 0.0))
        return fail("--snr-step and --qsb-hz need values above 0");
    if (!readSpeeds(parser, options))
        return false;
    const QString qsbSnr = parser.value(QStringLiteral("qsb-snr"));
    options.qsbMeanSnr = qsbSnr == QLatin1String("mean");
    if (!options.qsbMeanSnr && qsbSnr != QLatin1String("peak"))
        return fail("--qsb-snr needs peak or mean, not ", qsbSnr);

    options.generatorName = parser.value(QStringLiteral("generator"));
    options.ebook2cw = options.generatorName == QLatin1String("ebook2cw");
    if (!options.ebook2cw && options.generatorName != QLatin1String("ours"))
        return fail("unknown generator (ours or ebook2cw): ", options.generatorName);
    if (!readImpairments(parser, options))
        return false;
    // ebook2cw keys on its own exact timing: its recordings have no jitter to set.
    const QString jitter = parser.isSet(QStringLiteral("jitter")) || !options.ebook2cw
                               ? parser.value(QStringLiteral("jitter"))
                               : QStringLiteral("0");
    if (!readNumberList(jitter, "jitter", options.jitters))
        return false;
    if (options.ebook2cw && (options.jitters.size() != 1 || options.jitters[0] != 0.0))
        return fail("ebook2cw's timing has no jitter (--jitter 0)");
    options.withPeer = parser.isSet(QStringLiteral("peer"));
    options.keepDir = parser.value(QStringLiteral("keep"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    return readReader(parser, options);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!readOptions(app, options))
        return 2;
    const int rate = 8000;

    QTemporaryDir dir;
    std::printf("jitter_pct\twpm\tsnr_db\ttexts\tours_cer\tpeer_cer\tfirst_char_ok\tgenerator\t"
                "impairment\tafter_end\n");
    int caseIndex = 0;
    for (const QString& impairment : options.impairments) {
        for (double jitter : options.jitters) {
            for (double wpm : options.speeds) {
                for (double snr = options.snrMin; snr <= options.snrMax + 1e-9;
                     snr += options.snrStep) {
                    // The same texts for every cell of one speed, so rows differ only by noise.
                    std::mt19937 textGenerator(options.seed * 7919u + quint32(wpm));
                    long errors = 0;
                    long peerErrors = 0;
                    long length = 0;
                    int firstRight = 0;
                    long afterEnd = 0;
                    for (int t = 0; t < options.texts; ++t) {
                        const QString text = cwbench::randomText(textGenerator, 8);
                        Case c;
                        cw::CwSynthesizer::Settings& settings = c.settings;
                        settings.dWpm = wpm;
                        settings.dPitchHz = 500.0 + double(textGenerator() % 500);
                        settings.bNoise = true;
                        settings.dSnrDb = snr;
                        settings.dJitterPercent = jitter;
                        settings.nSampleRate = rate;
                        settings.uSeed =
                            options.seed + quint32(t) * 1000u + quint32(snr * 10 + 500);
                        settings.dLeadInSec = 0.3 + 0.1 * (t % 5);
                        impair(impairment, c);
                        c.ebook2cwOptions << QStringLiteral("-s")
                                          << QString::number(options.ebook2cwRate);
                        if (c.settings.dQsbHz > 0.0) {
                            c.settings.dQsbHz = options.qsbHz;
                            if (options.qsbMeanSnr)
                                settings.dSnrDb -=
                                    cw::CwSynthesizer::FadeMeanPowerDb(settings.dQsbDepthDb);
                        }
                        // Counts a reading of the text; returns the characters it missed.
                        auto tally = [&](const QString& decoded) {
                            const int distance = cwbench::editDistance(text, decoded);
                            errors += distance;
                            length += text.size();
                            if (!decoded.isEmpty() && decoded[0] == text[0])
                                ++firstRight;
                            return distance;
                        };
                        if (options.idealReader) {
                            const QString decoded =
                                cwbench::normalized(readIdeally(settings, text));
                            if (tally(decoded) > 0 && options.verbose)
                                std::fprintf(stderr, "%g wpm %g dB (seed %u): '%s' -> '%s'\n", wpm,
                                             snr, settings.uSeed, qPrintable(text),
                                             qPrintable(decoded));
                            continue;
                        }
                        std::vector<float> samples;
                        bool made = true;
                        qint64 wantedEnd = 0;
                        if (options.ebook2cw) {
                            samples = renderEbook2cwCase(c, text, rate, dir.path());
                            made = !samples.empty();
                            wantedEnd = qint64(samples.size());
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
                        if (options.verbose && !stray.isEmpty())
                            std::fprintf(
                                stderr, "%g wpm %g dB (pitch %g, seed %u): after the end '%s'\n",
                                wpm, snr, settings.dPitchHz, settings.uSeed, qPrintable(stray));
                        const int distance = tally(decoded);
                        if (options.verbose && distance > 0)
                            std::fprintf(stderr,
                                         "%g wpm %g dB (pitch %g, seed %u; found %.1f Hz, "
                                         "%.1f wpm): '%s' -> '%s'\n",
                                         wpm, snr, settings.dPitchHz, settings.uSeed, foundPitch,
                                         foundWpm, qPrintable(text), qPrintable(decoded));
                        if (!options.keepDir.isEmpty() && distance > 0)
                            keep(samples, rate, options.keepDir, settings.uSeed);
                        if (options.withPeer) {
                            const QString peer = cwbench::normalized(
                                peerDecode(samples, rate, wpm, dir, caseIndex++));
                            peerErrors += cwbench::editDistance(text, peer);
                        }
                    }
                    const double cer = double(errors) / double(std::max(1L, length));
                    const double peerCer =
                        options.withPeer ? double(peerErrors) / double(std::max(1L, length)) : NAN;
                    std::printf("%g\t%g\t%g\t%d\t%.4f\t%.4f\t%d\t%s\t%s\t%ld\n", jitter, wpm, snr,
                                options.texts, cer, peerCer, firstRight,
                                qPrintable(options.generatorName), qPrintable(impairment),
                                afterEnd);
                    std::fflush(stdout);
                }
            }
        }
    }
    return 0;
}
