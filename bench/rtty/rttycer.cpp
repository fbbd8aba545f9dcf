// Character error rate of the FSK demodulator by generator, speed, shift and SNR (in 2500 Hz),
// optionally side by side with minimodem decoding the same recordings. Recordings come from
// our synthesizer or from minimodem (clean, then given white noise here). Ours is told
// nothing; minimodem is told the true mark and space frequencies and the speed.
// Prints a TSV table: generator, baud, shift_hz, snr_db, texts, ours_cer, peer_cer, found, and
// ours_worst, the CER of our worst text (one text's share of the cell is that over texts).
//
//   rtty_cer [--texts 3] [--chars 80] [--snr -9,-6,-3,0,3] [--baud 45.45,50,75]
//            [--shift 170,425,850] [--generator ours,minimodem] [--peer] [--seed 1] [--told]
//
// --told gives ours the true tones and speed as well, to tell the search's errors from the
// decoding's. Our synthesizer's recordings can also fade selectively (--fade HZ, --fade-depth
// DB, default 25) and drift (--drift HZ/S). --show prints each text ours got wrong, with what
// it decoded and the tones and speed it found, on standard error. --no-shift-repair leaves
// case shifts broken by a bit error as they came. --only N decodes only text N of each cell
// (from 0; the others are still made, so it is the same recording), to look at one text.
// --timing adds timing_mean and timing_rms: how far (bits; negative: early) the decoded start
// bits lie from where the sender keyed them.

#include "rttybenchtext.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/fskdemodulator/fskdemodulator.h"
#include "tools/fskdemodulator/fsksynthesizer.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace {

constexpr int RATE = 8000;
constexpr double SNR_BANDWIDTH_HZ = 2500.0;

struct Case
{
    std::string text;
    double baud;
    double markHz;
    double spaceHz;
};

QList<double> numberList(const QString& text)
{
    QList<double> values;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        values << part.toDouble();
    return values;
}

QString option(const QStringList& arguments, const char* name, const char* fallback)
{
    const int at = arguments.indexOf(QLatin1String(name));
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QLatin1String(fallback);
}

QStringList minimodemArguments(const Case& c, const char* direction)
{
    return {QLatin1String(direction),     QStringLiteral("--quiet"), QStringLiteral("--baudot"),
            QStringLiteral("--stopbits"), QStringLiteral("1.5"),     QStringLiteral("-M"),
            QString::number(c.markHz),    QStringLiteral("-S"),      QString::number(c.spaceHz)};
}

bool writeWav(const QString& path, const std::vector<float>& samples)
{
    cw::AudioFileWriter writer;
    return writer.Open(path, RATE) && writer.Write(samples.data(), qint64(samples.size())) &&
           writer.Commit();
}

std::vector<float> readWav(const QString& path)
{
    cw::AudioFileReader reader;
    std::vector<float> samples;
    if (!reader.Open(path))
        return samples;
    std::vector<float> block(8192);
    while (const qint64 count = reader.Read(block.data(), qint64(block.size()))) {
        if (count < 0)
            break;
        samples.insert(samples.end(), block.begin(), block.begin() + count);
    }
    return samples;
}

/// A clean recording of the case made by minimodem, at its own level.
std::vector<float> minimodemRecording(const Case& c, QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("tx.wav"));
    QFile::remove(path);
    // The text comes from a file: the sender keys idle while it waits for input, so text
    // written down a pipe gave recordings that changed with the machine's load.
    const QString textPath = dir.filePath(QStringLiteral("tx.txt"));
    QFile text(textPath);
    if (!text.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        text.write(QByteArray::fromStdString(c.text + "\n")) < 0 || !text.flush()) {
        std::fprintf(stderr, "rtty_cer: cannot write %s\n", qPrintable(textPath));
        return {};
    }
    text.close();
    QProcess tx;
    QStringList arguments = minimodemArguments(c, "--tx");
    arguments << QStringLiteral("-R") << QString::number(RATE) << QStringLiteral("-f") << path
              << QString::number(c.baud);
    tx.setStandardInputFile(textPath);
    tx.start(QStringLiteral("minimodem"), arguments);
    tx.waitForFinished(-1);
    std::vector<float> samples = readWav(path);
    if (tx.exitStatus() != QProcess::NormalExit || tx.exitCode() != 0 || samples.empty())
        std::fprintf(stderr, "rtty_cer: minimodem made no recording (%s)\n",
                     qPrintable(tx.errorString()));
    return samples;
}

/// Adds white noise for @p snrDb in 2500 Hz against the tone's power (constant envelope).
void addNoise(std::vector<float>& samples, double snrDb, std::mt19937& generator)
{
    float peak = 0.0f;
    for (const float s : samples)
        peak = std::max(peak, std::abs(s));
    const double power = double(peak) * peak / 2.0;
    const double sigma =
        std::sqrt(power / std::pow(10.0, snrDb / 10.0) * (RATE / 2.0) / SNR_BANDWIDTH_HZ);
    std::normal_distribution<double> gauss(0.0, sigma);
    for (float& s : samples)
        s = float(s + gauss(generator));
}

struct Decoded
{
    std::string text;
    std::vector<int64_t> starts; ///< where each character's start bit began, as decoded
    bool found = false;
    double markHz = 0.0;
    double spaceHz = 0.0;
    double baud = 0.0;
};

Decoded ourDecode(const std::vector<float>& samples, const Case& c, bool told, bool repair)
{
    fsk::FskDemodulator::Settings settings;
    settings.dSampleRate = RATE;
    settings.bRepairShifts = repair;
    if (told) {
        settings.dMarkHz = c.markHz;
        settings.dSpaceHz = c.spaceHz;
        settings.dBaud = c.baud;
    }
    fsk::FskDemodulator demodulator(settings);
    demodulator.Push(samples.data(), samples.size());
    demodulator.Finish();
    Decoded decoded;
    fsk::FskDemodulator::Character character;
    while (demodulator.TakeCharacter(character)) {
        if (character.cText != '\0')
            decoded.text += character.cText;
        decoded.starts.push_back(character.nSample);
    }
    decoded.markHz = demodulator.MarkHz();
    decoded.spaceHz = demodulator.SpaceHz();
    decoded.baud = demodulator.Baud();
    decoded.found = decoded.baud == c.baud && std::abs(decoded.markHz - c.markHz) < 15.0 &&
                    std::abs(decoded.spaceHz - c.spaceHz) < 15.0;
    return decoded;
}

std::string peerDecode(const std::vector<float>& samples, const Case& c, QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("rx.wav"));
    QFile::remove(path);
    if (!writeWav(path, samples))
        return std::string();
    QProcess rx;
    QStringList arguments = minimodemArguments(c, "--rx");
    arguments << QStringLiteral("-f") << path << QString::number(c.baud);
    rx.start(QStringLiteral("minimodem"), arguments);
    rx.waitForFinished(-1);
    return rx.readAllStandardOutput().toStdString();
}

/// Where the first start bit of a clean recording begins: the first sample whose frequency
/// (from three samples, exact for a pure tone) lies nearer the space tone.
double firstFall(const std::vector<float>& samples, const Case& c)
{
    float peak = 0.0f;
    for (const float s : samples)
        peak = std::max(peak, std::abs(s));
    for (size_t i = 1; i + 1 < samples.size(); ++i) {
        if (std::abs(samples[i]) < 0.3f * peak)
            continue;
        const double cosine =
            std::clamp((samples[i - 1] + samples[i + 1]) / (2.0 * samples[i]), -1.0, 1.0);
        const double hz = std::acos(cosine) * RATE / (2.0 * M_PI);
        if (std::abs(hz - c.spaceHz) < std::abs(hz - c.markHz))
            return double(i);
    }
    return 0.0;
}

/// How far the decoded characters' timing lies from the sender's (bits; negative: early).
struct Timing
{
    double dSum = 0.0;
    double dSquares = 0.0;
    int nCount = 0;

    /// The sender's characters start at @p dFirst, one every @p dPitch samples, with bits of
    /// @p dBit samples; the ideal decoded start lies a filter length less half a bit later.
    void add(const Decoded& decoded, double dFirst, double dPitch, double dBit)
    {
        const double filter = double(std::lround(RATE / decoded.baud));
        for (const int64_t start : decoded.starts) {
            const double sent = double(start) - filter + 0.5 * dBit;
            const double k = std::round((sent - dFirst) / dPitch);
            const double off = (sent - dFirst - k * dPitch) / dBit;
            if (k < 0.0 || std::abs(off) > 0.5)
                continue;
            dSum += off;
            dSquares += off * off;
            ++nCount;
        }
    }
    double mean() const { return nCount > 0 ? dSum / nCount : 0.0; }
    double rms() const { return nCount > 0 ? std::sqrt(dSquares / nCount) : 0.0; }
};

double cer(const std::string& decoded, const std::string& reference)
{
    const std::string want = rttybench::normalized(reference);
    return double(rttybench::editDistance(rttybench::normalized(decoded), want)) /
           double(std::max<size_t>(1, want.size()));
}

/// What the command line asks of the table.
struct Options
{
    int texts;
    size_t chars;
    QList<double> snrs;
    QList<double> bauds;
    QList<double> shifts;
    QStringList generators;
    bool peer;
    bool told;
    bool show;
    bool repair;
    double fadeHz;
    double fadeDepthDb;
    double driftHzPerSec;
    unsigned seed;
    int only;
    bool timing;
};

Options readOptions(const QStringList& arguments)
{
    Options options;
    options.texts = option(arguments, "--texts", "3").toInt();
    options.chars = option(arguments, "--chars", "80").toUInt();
    options.snrs = numberList(option(arguments, "--snr", "-9,-6,-3,0,3"));
    options.bauds = numberList(option(arguments, "--baud", "45.45,50,75"));
    options.shifts = numberList(option(arguments, "--shift", "170,425,850"));
    options.generators = option(arguments, "--generator", "ours,minimodem").split(QLatin1Char(','));
    options.peer = arguments.contains(QStringLiteral("--peer"));
    options.told = arguments.contains(QStringLiteral("--told"));
    options.show = arguments.contains(QStringLiteral("--show"));
    options.repair = !arguments.contains(QStringLiteral("--no-shift-repair"));
    options.fadeHz = option(arguments, "--fade", "0").toDouble();
    options.fadeDepthDb = option(arguments, "--fade-depth", "25").toDouble();
    options.driftHzPerSec = option(arguments, "--drift", "0").toDouble();
    options.seed = option(arguments, "--seed", "1").toUInt();
    options.only = option(arguments, "--only", "-1").toInt();
    options.timing = arguments.contains(QStringLiteral("--timing"));
    return options;
}

/// One recording of a cell: its text and tones, its samples, and where its first character
/// was keyed and how far apart characters and bits were sent.
struct Recording
{
    Case c;
    std::vector<float> samples;
    double first = 0.0;
    double pitch = 0.0;
    double sentBit = 0.0;
};

/// A new text, tone pair and polarity from @p generatorName, with noise at @p snr; each call
/// draws from @p random, so every text of a cell differs.
Recording makeRecording(const QString& generatorName, double baud, double shift, double snr,
                        const Options& options, std::mt19937& random, QTemporaryDir& dir)
{
    Recording r;
    Case& c = r.c;
    c.text = rttybench::randomText(random, options.chars);
    c.baud = baud;
    const double centre = std::uniform_real_distribution<>(1200, 1800)(random);
    const bool reversed = std::uniform_int_distribution<>(0, 1)(random) == 1;
    c.markHz = std::round(centre + (reversed ? -shift : shift) / 2.0);
    c.spaceHz = std::round(centre - (reversed ? -shift : shift) / 2.0);
    const double bit = RATE / baud;
    r.sentBit = bit;
    if (generatorName == QLatin1String("minimodem")) {
        r.samples = minimodemRecording(c, dir);
        // minimodem keys whole samples: bits of the rounded length, the
        // stop bits cut to whole samples.
        r.sentBit = std::round(bit);
        r.first = firstFall(r.samples, c);
        r.pitch = 6.0 * r.sentBit + std::floor(1.5 * r.sentBit);
        addNoise(r.samples, snr, random);
    } else {
        fsk::FskSynthesizer::Settings settings;
        settings.dBaud = baud;
        settings.dMarkHz = c.markHz;
        settings.dShiftHz = shift;
        settings.bReversed = reversed;
        settings.bNoise = true;
        settings.dSnrDb = snr;
        settings.uSeed = random();
        settings.dFadeHz = options.fadeHz;
        settings.dFadeDepthDb = options.fadeDepthDb;
        settings.dDriftHzPerSec = options.driftHzPerSec;
        r.first = settings.dIdleSec * RATE;
        r.pitch = (6.0 + settings.dStopBits) * bit;
        fsk::FskSynthesizer synthesizer(settings);
        synthesizer.SetText(c.text);
        r.samples.resize(size_t(synthesizer.TotalSamples()));
        synthesizer.Render(r.samples.data(), int64_t(r.samples.size()));
    }
    return r;
}

/// Decodes the texts of one cell and prints its row.
void measureCell(const QString& generatorName, double baud, double shift, double snr,
                 const Options& options, QTemporaryDir& dir)
{
    std::mt19937 random(options.seed);
    double ours = 0.0, theirs = 0.0, worst = 0.0;
    int found = 0;
    Timing offsets;
    for (int t = 0; t < options.texts; ++t) {
        const Recording recording =
            makeRecording(generatorName, baud, shift, snr, options, random, dir);
        const Case& c = recording.c;
        const std::vector<float>& samples = recording.samples;
        if (options.only >= 0 && t != options.only)
            continue;
        const Decoded decoded = ourDecode(samples, c, options.told, options.repair);
        const double textCer = cer(decoded.text, c.text);
        ours += textCer;
        worst = std::max(worst, textCer);
        if (options.show && textCer > 0.0)
            std::fprintf(stderr,
                         "%.0f %.2f %.0f text %d: %.4f (%.0f/%.0f Hz, found "
                         "%.0f/%.0f Hz %.2f Bd)\n  %s\n  %s\n",
                         snr, baud, shift, t, textCer, c.markHz, c.spaceHz, decoded.markHz,
                         decoded.spaceHz, decoded.baud, c.text.c_str(), decoded.text.c_str());
        found += decoded.found ? 1 : 0;
        if (decoded.found)
            offsets.add(decoded, recording.first, recording.pitch, recording.sentBit);
        if (options.peer)
            theirs += cer(peerDecode(samples, c, dir), c.text);
    }
    std::printf("%s\t%.2f\t%.0f\t%.0f\t%d\t%.4f\t%s\t%d/%d\t%.4f", qPrintable(generatorName), baud,
                shift, snr, options.texts, ours / options.texts,
                options.peer ? qPrintable(QString::number(theirs / options.texts, 'f', 4)) : "-",
                found, options.texts, worst);
    if (options.timing)
        std::printf("\t%.4f\t%.4f", offsets.mean(), offsets.rms());
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = readOptions(app.arguments());
    QTemporaryDir dir;

    std::printf(
        "generator\tbaud\tshift_hz\tsnr_db\ttexts\tours_cer\tpeer_cer\tfound\tours_worst%s\n",
        options.timing ? "\ttiming_mean\ttiming_rms" : "");
    for (const QString& generatorName : options.generators) {
        for (const double baud : options.bauds) {
            for (const double shift : options.shifts) {
                for (const double snr : options.snrs)
                    measureCell(generatorName, baud, shift, snr, options, dir);
            }
        }
    }
    return 0;
}
