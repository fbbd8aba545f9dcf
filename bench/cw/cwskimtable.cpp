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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    int bands = 2;
    const int bandsAt = int(arguments.indexOf(QStringLiteral("--bands")));
    if (bandsAt > 0 && bandsAt + 1 < arguments.size())
        bands = std::max(1, arguments[bandsAt + 1].toInt());
    const bool quick = arguments.contains(QStringLiteral("--quick"));
    const bool verbose = arguments.contains(QStringLiteral("--verbose"));
    const int onlyAt = int(arguments.indexOf(QStringLiteral("--only")));
    const QString only =
        onlyAt > 0 && onlyAt + 1 < arguments.size() ? arguments[onlyAt + 1] : QString();
    QTemporaryDir work;
    const int writeAt = int(arguments.indexOf(QStringLiteral("--write-band")));
    if (writeAt > 0 && writeAt + 1 < arguments.size())
        return writeBand(arguments[writeAt + 1], work.path(), only);
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
