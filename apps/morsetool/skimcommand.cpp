// morsetool skim: decodes every CW signal of a recording at once, one Morse handler per
// signal, and prints each signal line as it ends.

#include "audiosymbolsource.h"
#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "morseencoder.h"
#include "skimchannelhosts.h"
#include "skimdisplay.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/cwskimmer.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <memory>

namespace {

const QString COMMAND = QStringLiteral("skim");
constexpr double DISPLAY_INTERVAL_SEC = 0.25; ///< of audio between redraws of the live view

int fail(int nExitCode, const QString& strMessage)
{
    return CommandLine::Fail(COMMAND, nExitCode, strMessage);
}

/// "LOW-HIGH" in Hz; false for anything else.
bool parseBand(const QString& strBand, double& dLow, double& dHigh)
{
    const QStringList parts = strBand.split(QLatin1Char('-'));
    bool lowOk = false;
    bool highOk = false;
    if (parts.size() != 2)
        return false;
    dLow = parts[0].toDouble(&lowOk);
    dHigh = parts[1].toDouble(&highOk);
    return lowOk && highOk && dLow >= 0.0 && dHigh > dLow;
}

double tenths(double dValue)
{
    return std::round(dValue * 10.0) / 10.0;
}

/// One signal line in the plain form: start, pitch, speed and text, tab-separated.
QString plainLine(const SkimChannelHosts::Line& line)
{
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(line.dStartSec, 0, 'f', 1)
        .arg(line.dPitchHz, 0, 'f', 1)
        .arg(line.dWpm, 0, 'f', 1)
        .arg(line.text);
}

/// One signal line as a JSON object: the plain fields plus those of `decode --format jsonl`.
QString jsonLine(const SkimChannelHosts::Line& line, const QString& strInput,
                 const QString& strAlphabet, quint64 u64StartUs)
{
    const auto utc = [u64StartUs](double seconds) {
        return QDateTime::fromMSecsSinceEpoch(
                   qint64(u64StartUs / 1000) + qint64(std::llround(seconds * 1000.0)), Qt::UTC)
            .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzzZ"));
    };
    QJsonObject object;
    object.insert(QStringLiteral("start"), tenths(line.dStartSec));
    object.insert(QStringLiteral("pitch"), tenths(line.dPitchHz));
    object.insert(QStringLiteral("wpm"), tenths(line.dWpm));
    object.insert(QStringLiteral("text"), line.text);
    object.insert(QStringLiteral("input"), strInput);
    object.insert(QStringLiteral("channel"), line.nChannel);
    object.insert(QStringLiteral("line"), line.nLine);
    object.insert(QStringLiteral("start_utc"), utc(line.dStartSec));
    object.insert(QStringLiteral("end_utc"), utc(line.dEndSec));
    object.insert(QStringLiteral("start_s"), line.dStartSec);
    object.insert(QStringLiteral("end_s"), line.dEndSec);
    object.insert(QStringLiteral("pitch_hz"), tenths(line.dPitchHz));
    object.insert(QStringLiteral("snr_db"), tenths(line.dSnrDb));
    object.insert(QStringLiteral("alphabet"), strAlphabet);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

struct SkimOptions
{
    cw::CwSkimmer::Settings skimmer;
    SkimChannelHosts::Settings hosts;
    bool bBandGiven = false;
    bool bJson = false;
    bool bQuiet = false;
};

/// Opens @p strPath ("-" for standard input) as a recording the way `decode` does.
std::unique_ptr<AudioSymbolSource>
openRecording(const QString& strPath, const QCommandLineParser& parser, QString& strError)
{
    AudioSymbolSource::Options audio;
    if (!AudioSymbolSource::readOptions(parser, audio, strError))
        return nullptr;
    auto source = std::make_unique<AudioSymbolSource>();
    if (strPath == QLatin1String("-")) {
        std::unique_ptr<QIODevice> input = CommandLine::OpenInput(strPath, strError);
        if (!input)
            return nullptr;
        if (!source->openStream(std::move(input), audio)) {
            strError = source->errorString();
            return nullptr;
        }
        return source;
    }
    if (!AudioSymbolSource::IsAudioFile(strPath)) {
        strError = CommandLine::CannotOpen(strPath, QStringLiteral("not a recording"));
        return nullptr;
    }
    if (parser.isSet(QStringLiteral("rate"))) {
        strError = QStringLiteral("--rate does not apply to a recording with a header (its "
                                  "rate is known); it is for raw samples on standard input");
        return nullptr;
    }
    if (!source->open(strPath, audio)) {
        strError = source->errorString();
        return nullptr;
    }
    return source;
}

bool readOptions(const QCommandLineParser& parser, SkimOptions& options, QString& strError)
{
    options.bJson = parser.value(QStringLiteral("format")) == QLatin1String("jsonl");
    if (!options.bJson && parser.value(QStringLiteral("format")) != QLatin1String("text")) {
        strError = QStringLiteral("--format expects text or jsonl, got \"%1\"")
                       .arg(parser.value(QStringLiteral("format")));
        return false;
    }
    options.bQuiet = parser.isSet(QStringLiteral("quiet"));
    double threads = 1.0;
    if (parser.isSet(QStringLiteral("band"))) {
        options.bBandGiven = true;
        if (!parseBand(parser.value(QStringLiteral("band")), options.skimmer.dLowHz,
                       options.skimmer.dHighHz)) {
            strError = QStringLiteral("--band expects LOW-HIGH in Hz, got \"%1\"")
                           .arg(parser.value(QStringLiteral("band")));
            return false;
        }
    }
    if (!CommandLine::ReadNumber(parser, COMMAND, QStringLiteral("min-snr"), -30.0, 60.0,
                                 options.skimmer.dMinSnrDb) ||
        !CommandLine::ReadNumber(parser, COMMAND, QStringLiteral("dial"), 0.0, 1e12,
                                 options.hosts.dDialHz) ||
        !CommandLine::ReadNumber(parser, COMMAND, QStringLiteral("threads"), 1.0, 64.0, threads))
        return false;
    if (threads != std::floor(threads)) {
        strError = QStringLiteral("--threads expects a whole number, got \"%1\"")
                       .arg(parser.value(QStringLiteral("threads")));
        return false;
    }
    options.skimmer.nThreads = size_t(threads);
    DecodeHost::Options& host = options.hosts.host;
    host.alphabetsDirectory = QDir(parser.value(QStringLiteral("alphabets"))).absolutePath();
    host.alphabet = parser.value(QStringLiteral("alphabet"));
    host.announceFiles = !options.bQuiet;
    if (parser.isSet(QStringLiteral("save"))) {
        const QString directory = parser.value(QStringLiteral("save"));
        if (directory.isEmpty() || !QDir().mkpath(directory)) {
            strError = CommandLine::CannotOpen(directory, QStringLiteral("cannot create the "
                                                                         "save directory"));
            return false;
        }
        host.saveDirectory = QDir(directory).absolutePath();
    }
    options.skimmer.characterCodes =
        MorseEncoder::demodulatorCodes(host.alphabetsDirectory, host.alphabet);
    return true;
}

/// Runs the skimmer over the recording and the handlers over its channels; the exit code.
int skim(AudioSymbolSource& source, SkimOptions& options, const QString& strInput)
{
    const double rate = source.sampleRate();
    if (!cw::CwSkimmer::IsUsableSampleRate(rate))
        return fail(EXIT_BAD_INPUT, QStringLiteral("%1: a sample rate of %2 Hz cannot be "
                                                   "skimmed (4000 to 192000 Hz)")
                                        .arg(strInput)
                                        .arg(rate));
    if (options.bBandGiven && options.skimmer.dHighHz > rate / 2.0)
        return fail(EXIT_BAD_INPUT, QStringLiteral("--band must end below half the sample rate "
                                                   "(%1 Hz)")
                                        .arg(rate / 2.0));
    options.skimmer.dSampleRate = rate;
    options.hosts.dSampleRate = rate;
    options.hosts.u64StartUs = source.startUs();
    const QString alphabet = options.hosts.host.alphabet.isEmpty() ? QStringLiteral("International")
                                                                   : options.hosts.host.alphabet;

    const bool live = CommandLine::IsTerminal(stdout);
    SkimDisplay display(stdout);
    cw::CwSkimmer skimmer(options.skimmer);
    int lines = 0;
    SkimChannelHosts hosts(options.hosts, [&](const SkimChannelHosts::Line& line) {
        ++lines;
        const QString text = options.bJson
                                 ? jsonLine(line, strInput, alphabet, options.hosts.u64StartUs)
                                 : plainLine(line);
        if (live) {
            display.line(text);
        } else {
            std::fprintf(stdout, "%s\n", text.toUtf8().constData());
            std::fflush(stdout);
        }
    });

    QString error;
    int status = EXIT_OK;
    auto handleEvents = [&] {
        for (cw::CwSkimmer::Event event; skimmer.TakeEvent(event);) {
            switch (event.kind) {
            case cw::CwSkimmer::Event::Kind::Started:
                if (!hosts.open(event.nChannel, event.dPitchHz, error)) {
                    fail(EXIT_BAD_INPUT, error);
                    return false;
                }
                break;
            case cw::CwSkimmer::Event::Kind::Symbol:
                hosts.feed(event.nChannel, event.symbol.nCode, event.symbol.nSamplePosition,
                           event.dPitchHz, event.dWpm, event.dSnrDb);
                break;
            case cw::CwSkimmer::Event::Kind::Ended:
                if (!hosts.close(event.nChannel, error)) {
                    fail(EXIT_FAILURE_RUNNING, error);
                    status = EXIT_FAILURE_RUNNING;
                }
                break;
            }
        }
        return true;
    };

    qint64 sinceDisplay = 0;
    const float* samples = nullptr;
    qint64 count = 0;
    while (source.readSamples(samples, count) && count > 0) {
        skimmer.Process(samples, size_t(count));
        if (!handleEvents())
            return EXIT_BAD_INPUT;
        sinceDisplay += count;
        if (live && sinceDisplay >= qint64(DISPLAY_INTERVAL_SEC * rate)) {
            sinceDisplay = 0;
            display.update(skimmer.Channels(), [&](int n) { return hosts.currentText(n); });
        }
    }
    if (!source.errorString().isEmpty())
        return fail(EXIT_BAD_INPUT, QStringLiteral("%1: %2").arg(strInput, source.errorString()));
    skimmer.Finish();
    if (!handleEvents())
        return EXIT_BAD_INPUT;
    if (!hosts.closeAll(error)) {
        fail(EXIT_FAILURE_RUNNING, error);
        status = EXIT_FAILURE_RUNNING;
    }
    if (live)
        display.finish();
    if (!CommandLine::FinishOutput(stdout, QStringLiteral("standard output"), error))
        return fail(EXIT_FAILURE_RUNNING, error);
    if (lines == 0) {
        fail(EXIT_FAILURE_RUNNING, QStringLiteral("%1: no Morse signal found").arg(strInput));
        return EXIT_FAILURE_RUNNING;
    }
    return status;
}

} // namespace

int runSkimCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Decodes every CW signal of a recording at once, each with its own Morse handler.\n"
        "Prints one line per signal line as it ends: start (s), pitch (Hz), speed (WPM) and\n"
        "text, separated by tabs; on a terminal, the signals being decoded are shown live."));
    parser.addPositionalArgument(QStringLiteral("input"),
                                 QStringLiteral("A recording, or - for standard input."),
                                 QStringLiteral("FILE|-"));
    parser.addOptions({
        {QStringLiteral("band"),
         QStringLiteral("Search LOW-HIGH Hz (default: the whole band but its edges)."),
         QStringLiteral("LOW-HIGH")},
        {QStringLiteral("min-snr"),
         QStringLiteral("Signals whose key-down tone stands at least DB over the noise in 2500 "
                        "Hz (default -8)."),
         QStringLiteral("DB")},
        {QStringLiteral("dial"),
         QStringLiteral("The receiver's dial frequency in Hz: each signal's frequency (session "
                        "file names) is the dial plus its pitch."),
         QStringLiteral("HZ")},
        {QStringLiteral("alphabet"), QStringLiteral("Decode through the alphabet NAME."),
         QStringLiteral("NAME")},
        {QStringLiteral("alphabets"), QStringLiteral("The alphabets directory."),
         QStringLiteral("DIR"), DataPaths::AlphabetsDirectory()},
        {QStringLiteral("save"),
         QStringLiteral("Write each signal's session files and report into DIR."),
         QStringLiteral("DIR")},
        {QStringLiteral("format"),
         QStringLiteral("Output: text (default), or jsonl, one JSON object per signal line."),
         QStringLiteral("FORMAT"), QStringLiteral("text")},
        {QStringLiteral("threads"),
         QStringLiteral("Demodulate the signals on N threads (default 1); the output is the "
                        "same."),
         QStringLiteral("N")},
        {{QStringLiteral("q"), QStringLiteral("quiet")},
         QStringLiteral("No notes on files written; errors are still told.")},
    });
    parser.addOptions(AudioSymbolSource::commandLineOptions());
    const int parsed =
        CommandLine::Parse(parser, COMMAND, arguments, QStringLiteral("[options] FILE|-"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    // Every signal is found and tuned on its own.
    const int rejected =
        CommandLine::RejectOptions(parser, COMMAND, {QStringLiteral("pitch")},
                                   QStringLiteral("skim: each signal's pitch is found"));
    if (rejected != CommandLine::CONTINUE)
        return rejected;
    if (parser.positionalArguments().size() != 1)
        return fail(EXIT_BAD_INPUT, QStringLiteral("expects one recording (or - for standard "
                                                   "input)"));
    SkimOptions options;
    QString error;
    if (!readOptions(parser, options, error))
        return error.isEmpty() ? EXIT_BAD_INPUT : fail(EXIT_BAD_INPUT, error);
    const QString path = parser.positionalArguments().first();
    std::unique_ptr<AudioSymbolSource> source = openRecording(path, parser, error);
    if (!source)
        return fail(EXIT_BAD_INPUT, error);
    return skim(*source, options, CommandLine::InputName(path));
}
