// Accuracy of the skimmer on mixed bands: the character error rate of each signal (the
// text of the channels nearest its pitch within 40 Hz), the phantom text on no signal's
// pitch, and how many signals were found. Bands from our synthesizer (every other signal
// hand-sent) and with every other signal from ebook2cw. Prints a Markdown table.
//
//   cw_skim [--bands N] [--quick] [--verbose] [--only TEXT]   (cases whose name has TEXT)
//   cw_skim --write-band FILE   writes the first band of 8 signals at 8 kHz (for the picture)
//                               and its true pitches, starts and texts to FILE.tsv; with
//                               --only TEXT, the first band of that case (to time morsetool)

#include "cwskimband.h"

#include "tools/cwdemodulator/audiofilewriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Case
{
    const char* name;
    int nSignals;
    int nRate;
    double dLowHz;
    double dHighHz;
    bool bEbook2cw;
    double dMinApartHz;
};

const Case CASES[] = {
    {"4 signals, 3 kHz at 8 kHz", 4, 8000, 400.0, 3400.0, false, 100.0},
    {"8 signals, 3 kHz at 8 kHz", 8, 8000, 400.0, 3400.0, false, 100.0},
    {"8 signals, 3 kHz at 8 kHz, ebook2cw", 8, 8000, 400.0, 3400.0, true, 100.0},
    {"4 signals 50 Hz apart and more, 8 kHz", 4, 8000, 600.0, 1000.0, false, 50.0},
    {"30 signals at 48 kHz", 30, 48000, 400.0, 22000.0, false, 100.0},
    {"60 signals at 48 kHz", 60, 48000, 400.0, 22000.0, false, 100.0},
    {"200 signals at 192 kHz", 200, 192000, 400.0, 90000.0, false, 100.0},
};

int writeBand(const QString& strPath, const QString& strWorkDir, const QString& strOnly)
{
    // The 8 signals at 8 kHz, or the first case named with --only.
    const Case* chosen = &CASES[1];
    if (!strOnly.isEmpty()) {
        for (const Case& c : CASES) {
            if (QString::fromUtf8(c.name).contains(strOnly)) {
                chosen = &c;
                break;
            }
        }
    }
    const Case& c = *chosen;
    const cwskim::Band band =
        cwskim::randomBand(c.nSignals, c.nRate, c.dLowHz, c.dHighHz, 1, c.bEbook2cw, c.dMinApartHz);
    const std::vector<float> samples = cwskim::render(band, 101, strWorkDir);
    cw::AudioFileWriter writer;
    if (samples.empty() || !writer.Open(strPath, c.nRate) ||
        !writer.Write(samples.data(), qint64(samples.size())) || !writer.Commit()) {
        std::fprintf(stderr, "cw_skim: cannot write %s %s\n", qPrintable(strPath),
                     qPrintable(writer.ErrorString()));
        return 1;
    }
    QFile truth(strPath + QStringLiteral(".tsv"));
    if (!truth.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return 1;
    for (const cwskim::Signal& signal : band.transmitters)
        truth.write(QStringLiteral("%1\t%2\t%3\n")
                        .arg(signal.dStartSec)
                        .arg(signal.dPitchHz)
                        .arg(signal.text)
                        .toUtf8());
    return 0;
}

/// The table's options; a malformed value or an unknown option is an error.
struct Options
{
    int bands = 2;
    bool quick = false;
    bool verbose = false;
    QString only;
    QString writeBand;
};

bool readOptions(const QCoreApplication& app, Options& options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Accuracy of the skimmer on mixed bands, printed as a Markdown table."));
    parser.addHelpOption();
    parser.addOption(QCommandLineOption(QStringLiteral("bands"),
                                        QStringLiteral("Bands per case. Default: 2."),
                                        QStringLiteral("count"), QStringLiteral("2")));
    parser.addOption(
        QCommandLineOption(QStringLiteral("quick"), QStringLiteral("Only the bands at 8 kHz.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("verbose"), QStringLiteral("Tell each channel and each signal's score.")));
    parser.addOption(QCommandLineOption(QStringLiteral("only"),
                                        QStringLiteral("Only the cases whose name has TEXT."),
                                        QStringLiteral("TEXT")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("write-band"),
        QStringLiteral("Write the first band of 8 signals at 8 kHz (or of the --only case) to "
                       "FILE, its true signals to FILE.tsv, and stop."),
        QStringLiteral("FILE")));
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "cw_skim: %s (--help)\n", qPrintable(parser.errorText()));
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    bool bandsOk = false;
    options.bands = parser.value(QStringLiteral("bands")).toInt(&bandsOk);
    if (!bandsOk || options.bands < 1 || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "cw_skim: --bands needs a count of at least 1, and there are no "
                             "arguments besides the options\n");
        return false;
    }
    options.quick = parser.isSet(QStringLiteral("quick"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    options.only = parser.value(QStringLiteral("only"));
    options.writeBand = parser.value(QStringLiteral("write-band"));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!readOptions(app, options))
        return 2;
    const int bands = options.bands;
    const bool quick = options.quick;
    const bool verbose = options.verbose;
    const QString& only = options.only;
    QTemporaryDir work;
    if (!options.writeBand.isEmpty())
        return writeBand(options.writeBand, work.path(), only);
    std::printf("| band | signals found | mean CER | worst CER | phantom text |\n"
                "|---|---:|---:|---:|---:|\n");
    for (const Case& c : CASES) {
        if ((quick && c.nRate > 8000) || !QString::fromUtf8(c.name).contains(only))
            continue;
        int found = 0;
        int total = 0;
        double meanSum = 0.0;
        double worst = 0.0;
        double phantom = 0.0;
        bool failed = false;
        for (int b = 0; b < bands && !failed; ++b) {
            const cwskim::Band band =
                cwskim::randomBand(c.nSignals, c.nRate, c.dLowHz, c.dHighHz, quint32(b + 1),
                                   c.bEbook2cw, c.dMinApartHz);
            const std::vector<float> samples = cwskim::render(band, quint32(b + 101), work.path());
            if (samples.empty()) {
                failed = true;
                break;
            }
            cw::CwSkimmer::Settings settings;
            settings.dSampleRate = c.nRate;
            const std::vector<cwskim::Decoded> decoded = cwskim::skim(samples, settings);
            const cwskim::Score score = cwskim::score(band, decoded);
            for (const cwskim::Decoded& channel : decoded) {
                if (verbose)
                    std::fprintf(stderr, "channel %d %7.1f Hz from %5.1f s: %s\n", channel.nChannel,
                                 channel.dPitchHz, channel.dStartSec, qPrintable(channel.text));
            }
            for (size_t i = 0; verbose && i < band.transmitters.size(); ++i) {
                const cwskim::Signal& signal = band.transmitters[i];
                std::fprintf(
                    stderr,
                    "%7.1f Hz %5.1f dB %4.1f WPM %s%s start %4.1f s CER %5.1f %%\n  %s\n  %s\n",
                    signal.dPitchHz, signal.dSnrDb, signal.dWpm,
                    signal.bHandSent ? "hand" : "machine", signal.bEbook2cw ? " ebook2cw" : "",
                    signal.dStartSec, 100.0 * score.cer[i], qPrintable(signal.text),
                    qPrintable(score.texts[i]));
            }
            found += score.nFound;
            total += c.nSignals;
            meanSum += score.meanCer();
            worst = std::max(worst, score.worstCer());
            phantom += score.dPhantomShare;
        }
        if (failed) {
            std::printf("| %s | (ebook2cw or sox missing) | | | |\n", c.name);
            continue;
        }
        std::printf("| %s | %d / %d | %.1f %% | %.1f %% | %.2f %% |\n", c.name, found, total,
                    100.0 * meanSum / bands, 100.0 * worst, 100.0 * phantom / bands);
        std::fflush(stdout);
    }
    return 0;
}
