// morsetool decode: runs a MorseHandler on symbol codes read from a file or standard input.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "decodebatch.h"
#include "decodehost.h"
#include "jsonlineswriter.h"
#include "morseencoder.h"
#include "outputfile.h"
#include "progressdisplay.h"
#include "shutdownsignals.h"
#include "textsymbolsource.h"
#ifdef MORSETOOL_HAVE_CW
#include "audiosymbolsource.h"

#include "tools/cwdemodulator/audiofilereader.h"
#endif

#include "host/errorhandler.h"
#include "tools/morsecore/morsesymbolcode.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

/// Bytes that tell a recording on standard input from symbol codes.
constexpr qint64 AUDIO_MAGIC_BYTES = 4;

void printError(const QString& message)
{
    CommandLine::Fail(QStringLiteral("decode"), EXIT_BAD_INPUT, message);
}

/// The source of symbol codes for @p path ("-" is standard input). The one place that decides
/// how an input is read.
std::unique_ptr<SymbolSource> openSymbolSource(const QString& path,
                                               const QCommandLineParser& options,
                                               const DecodeHost::Options& host, QString& error)
{
    const bool standardInput = path == QLatin1String("-");
    std::unique_ptr<QIODevice> input;
#ifdef MORSETOOL_HAVE_CW
    // Recordings go through the CW demodulator: a file recognised by its content or audio
    // extension, standard input by its first bytes, or raw samples with --rate.
    AudioSymbolSource::Options audio;
    if (!AudioSymbolSource::readOptions(options, audio, error))
        return nullptr;
    audio.characterCodes = MorseEncoder::demodulatorCodes(host.alphabetsDirectory, host.alphabet);
    audio.bEstimateSnr = options.value(QStringLiteral("format")) == QLatin1String("jsonl");
    if (standardInput && !(input = CommandLine::OpenInput(path, error)))
        return nullptr;
    const bool rawSamples = standardInput && audio.nRawSampleRate > 0;
    const bool headed =
        standardInput && cw::AudioFileReader::StartsLikeAudio(input->peek(AUDIO_MAGIC_BYTES));
    const bool recording =
        standardInput ? rawSamples || headed : AudioSymbolSource::IsAudioFile(path);
    if (recording) {
        if (options.isSet(QStringLiteral("rate")) && (headed || !standardInput)) {
            error = QStringLiteral("--rate does not apply to a recording with a header (its "
                                   "rate is known); it is for raw samples on standard input");
            return nullptr;
        }
        auto source = std::make_unique<AudioSymbolSource>();
        if (!(standardInput ? source->openStream(std::move(input), audio)
                            : source->open(path, audio))) {
            error = source->errorString();
            return nullptr;
        }
        return source;
    }
    for (const QCommandLineOption& option : AudioSymbolSource::commandLineOptions()) {
        if (options.isSet(option.names().first())) {
            error = QStringLiteral("--%1 does not apply to symbol-code input; it is for "
                                   "recordings")
                        .arg(option.names().first());
            return nullptr;
        }
    }
#else
    Q_UNUSED(options)
    Q_UNUSED(host)
#endif
    if (!input && !(input = CommandLine::OpenInput(path, error)))
        return nullptr;
    return std::make_unique<TextSymbolSource>(std::move(input));
}

/// True when @p path is a stream that is written while it is read (a pipe, a terminal, a
/// device), not a stored file.
bool isLiveInput(const QString& path)
{
    struct stat info = {};
    return path == QLatin1String("-") && fstat(STDIN_FILENO, &info) == 0 && !S_ISREG(info.st_mode);
}

/// The host's options from @p parser; false with @p error for a value that cannot be used.
bool readHostOptions(const QCommandLineParser& parser, DecodeHost::Options& options, QString& error)
{
    options.alphabetsDirectory = parser.value(QStringLiteral("alphabets"));
    if (!options.alphabetsDirectory.isEmpty())
        options.alphabetsDirectory = QDir(options.alphabetsDirectory).absolutePath();
    options.alphabet = parser.value(QStringLiteral("alphabet"));
    options.announceFiles = !parser.isSet(QStringLiteral("quiet"));
    bool frequencyOk = false;
    options.frequencyHz = parser.value(QStringLiteral("frequency")).toDouble(&frequencyOk);
    if (!frequencyOk || !std::isfinite(options.frequencyHz) || options.frequencyHz < 0) {
        error = QStringLiteral("--frequency expects a finite number of Hz, 0 or more, got \"%1\"")
                    .arg(parser.value(QStringLiteral("frequency")));
        return false;
    }
    if (parser.isSet(QStringLiteral("save"))) {
        const QString directory = parser.value(QStringLiteral("save"));
        if (directory.isEmpty() || !QDir().mkpath(directory)) {
            error = CommandLine::CannotOpen(directory, QStringLiteral("cannot create the "
                                                                      "save directory"));
            return false;
        }
        options.saveDirectory = QDir(directory).absolutePath();
    }
    bool reportEveryOk = false;
    const double reportEvery =
        parser.value(QStringLiteral("report-every")).toDouble(&reportEveryOk);
    if (!reportEveryOk || !(reportEvery >= 0) || reportEvery > 1e6) {
        error = QStringLiteral("--report-every expects a number of seconds, got \"%1\"")
                    .arg(parser.value(QStringLiteral("report-every")));
        return false;
    }
    if (parser.isSet(QStringLiteral("report-every")) && !parser.isSet(QStringLiteral("save"))) {
        error = QStringLiteral("--report-every does not apply without --save");
        return false;
    }
    if (parser.isSet(QStringLiteral("trace")))
        ErrorHandler::Instance()->SetTraceFlags(ErrorHandler::Instance()->GetTraceFlags() |
                                                TRACE_FLAG_LIBRARY);
    if (parser.value(QStringLiteral("format")) == QLatin1String("jsonl") &&
        parser.isSet(QStringLiteral("retranslate"))) {
        error = QStringLiteral("--retranslate does not apply to --format jsonl");
        return false;
    }
    return true;
}

/// Feeds every symbol of @p source to @p host (and @p json, when given), saving the report
/// as often as asked when @p saving. A closed standard output stops the printing; while
/// saving, the reading goes on. A stop signal ends the reading; what was read is finished and
/// saved.
void feedSymbols(const QCommandLineParser& parser, SymbolSource& source, DecodeHost& host,
                 JsonLinesWriter* json, OutputFile& output, bool saving)
{
    ProgressDisplay progress(!parser.isSet(QStringLiteral("quiet")) &&
                             CommandLine::IsTerminal(stderr));
    const qint64 reportEveryMs =
        qint64(parser.value(QStringLiteral("report-every")).toDouble() * 1000.0);
    QElapsedTimer sinceReport;
    sinceReport.start();
    SymbolSource::Symbol symbol;
    for (qint64 count = 0; !ShutdownSignals::Requested() && source.next(symbol); ++count) {
        if (json)
            json->symbol(symbol.hasTimestamp, symbol.timestampUs);
        host.feed(symbol);
        if ((count & 0xFFF) == 0)
            progress.update(source.progress());
        if (output.failed()) {
            if (!saving)
                break;
            host.stopPrinting();
        }
        const bool lineEnd = symbol.code == morse::SYMBOL_END_OF_LINE;
        if (saving && (reportEveryMs == 0 ? lineEnd
                                          : ((count & 0xFF) == 0 || lineEnd) &&
                                                sinceReport.elapsed() >= reportEveryMs)) {
            host.saveReport();
            sinceReport.restart();
        }
    }
    progress.finish();
}

/// @p status, or the exit code of how the reading of @p source (named @p name) ended, told on
/// stderr: an error, a shortfall, no signal heard, or its summary unless quiet.
int endStatus(const QCommandLineParser& parser, const SymbolSource& source, const QString& name,
              int status)
{
    if (!source.errorString().isEmpty()) {
        printError(QStringLiteral("%1: %2").arg(name, source.errorString()));
        status = EXIT_BAD_INPUT;
    } else if (!source.shortfall().isEmpty()) {
        CommandLine::Fail(
            QStringLiteral("decode"), EXIT_FAILURE_RUNNING,
            QStringLiteral("%1: decoded what is there, but %2").arg(name, source.shortfall()));
        status = EXIT_FAILURE_RUNNING;
    } else if (source.heardNothing()) {
        CommandLine::Fail(QStringLiteral("decode"), EXIT_FAILURE_RUNNING,
                          QStringLiteral("%1: no Morse signal found").arg(name));
        status = EXIT_FAILURE_RUNNING;
    } else if (!source.summary().isEmpty() && !parser.isSet(QStringLiteral("quiet"))) {
        CommandLine::Fail(QStringLiteral("decode"), EXIT_OK,
                          QStringLiteral("%1: %2").arg(name, source.summary()));
    }
    return status;
}

/// Decodes the one input @p input with the options of @p parser; the exit code.
int decodeInput(const QCommandLineParser& parser, const QString& input, DecodeHost::Options options)
{
    QString error;
    std::unique_ptr<SymbolSource> source = openSymbolSource(input, parser, options, error);
    if (!source) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    OutputFile output;
    if (!output.open(parser.value(QStringLiteral("output")), error)) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    // A person or a live input sees each character as soon as it is decided; a file or a
    // pipe of a stored input gets whole lines.
    options.flushEachUnit = CommandLine::IsTerminal(output.stream()) || isLiveInput(input);

    DecodeHost host(options, output.stream(), stderr);
    std::unique_ptr<JsonLinesWriter> json;
    if (parser.value(QStringLiteral("format")) == QLatin1String("jsonl")) {
        json = std::make_unique<JsonLinesWriter>(
            output.stream(), CommandLine::InputName(input),
            options.alphabet.isEmpty() ? QStringLiteral("International") : options.alphabet,
            *source, options.flushEachUnit);
        host.setTextListener([&json](const QString& unit) { json->text(unit); });
    }
    if (!host.start(error)) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    if (parser.isSet(QStringLiteral("retranslate")) &&
        !host.hasAlphabet(parser.value(QStringLiteral("retranslate")))) {
        printError(
            QStringLiteral("--retranslate: unknown alphabet \"%1\" (no .mal file of "
                           "that name in \"%2\")")
                .arg(parser.value(QStringLiteral("retranslate")), options.alphabetsDirectory));
        return EXIT_BAD_INPUT;
    }
    feedSymbols(parser, *source, host, json.get(), output, !options.saveDirectory.isEmpty());
    if (json)
        json->finish();
    else
        std::fputc('\n', output.stream());

    int status = EXIT_OK;
    if (parser.isSet(QStringLiteral("retranslate"))) {
        QString text;
        if (host.retranslate(parser.value(QStringLiteral("retranslate")), text, error)) {
            std::fprintf(output.stream(), "%s\n", text.toUtf8().constData());
        } else {
            printError(error);
            status = EXIT_BAD_INPUT;
        }
    }
    if (!host.finish(error)) {
        printError(error);
        status = EXIT_FAILURE_RUNNING;
    }
    if (!output.close(error)) {
        printError(error);
        return EXIT_FAILURE_RUNNING;
    }
    const QString name = CommandLine::InputName(input);
    if (ShutdownSignals::Requested()) {
        CommandLine::Fail(QStringLiteral("decode"), EXIT_OK,
                          QStringLiteral("%1: stopped by signal %2; what was read is saved")
                              .arg(name)
                              .arg(ShutdownSignals::Signal()));
        return ShutdownSignals::ExitCode();
    }
    return endStatus(parser, *source, name, status);
}

/// Declares the command's inputs and options on @p parser.
void addOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Decodes Morse symbol codes to text with the morsehandler library, as the\n"
                       "monitoring application runs it. Text is printed as it is decoded.\n\n") +
        TextSymbolSource::formatDescription());
    parser.addPositionalArgument(
        QStringLiteral("input"),
        QStringLiteral("Input files (patterns such as '*.wav' are expanded), or - for standard "
                       "input (default)."),
        QStringLiteral("[FILE...|-]"));
    const QCommandLineOption alphabetOption(
        QStringLiteral("alphabet"),
        QStringLiteral("Decode through the alphabet NAME (a .mal file of the alphabets "
                       "directory); default: the built-in International alphabet, and session "
                       "files named \"Default\"."),
        QStringLiteral("NAME"));
    const QCommandLineOption alphabetsOption(
        QStringLiteral("alphabets"), QStringLiteral("The alphabets directory."),
        QStringLiteral("DIR"), DataPaths::AlphabetsDirectory());
    const QCommandLineOption saveOption(
        QStringLiteral("save"),
        QStringLiteral("Write the session code and text files and the XML report into DIR "
                       "(created if missing). The report needs @t timestamps."),
        QStringLiteral("DIR"));
    const QCommandLineOption frequencyOption(QStringLiteral("frequency"),
                                             QStringLiteral("Tuned frequency in Hz (file names)."),
                                             QStringLiteral("HZ"), QStringLiteral("0"));
    const QCommandLineOption traceOption(
        QStringLiteral("trace"), QStringLiteral("Write the library's trace lines to stderr."));
    const QCommandLineOption retranslateOption(
        QStringLiteral("retranslate"),
        QStringLiteral("After the input, print the whole reception again translated through "
                       "ALPHABET."),
        QStringLiteral("ALPHABET"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("Write the text to FILE (never replaced) instead of standard output; - "
                       "is standard output."),
        QStringLiteral("FILE"), QStringLiteral("-"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("Output: text (default), or jsonl, one JSON object per line of text with "
                       "its times, tone, speed and signal-to-noise estimate."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption outputDirOption(
        QStringLiteral("output-dir"),
        QStringLiteral("Several inputs: write one file per input into DIR, named after the "
                       "input with .txt or .jsonl added (never replacing one), then a summary."),
        QStringLiteral("DIR"));
    const QCommandLineOption jobsOption(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Several inputs: decode N of them at once (default 1)."),
        QStringLiteral("N"));
    const QCommandLineOption reportEveryOption(
        QStringLiteral("report-every"),
        QStringLiteral("With --save: save the XML report at least every SECONDS (default 60) "
                       "of running time, or with 0 at the end of each line (transmission), so "
                       "that a crash loses at most that stretch; each save starts a new report "
                       "file."),
        QStringLiteral("SECONDS"), QStringLiteral("60"));
    const QCommandLineOption quietOption(
        {QStringLiteral("q"), QStringLiteral("quiet")},
        QStringLiteral("No progress display, no notes on files written or signals found; "
                       "errors are still told."));
    parser.addOptions({alphabetOption, alphabetsOption, saveOption, frequencyOption, traceOption,
                       retranslateOption, outputOption, formatOption, outputDirOption, jobsOption,
                       reportEveryOption, quietOption});
#ifdef MORSETOOL_HAVE_CW
    parser.addOptions(AudioSymbolSource::commandLineOptions());
#endif
}

/// Decodes several inputs (or one into --output-dir) as a batch; the exit code.
int decodeBatch(const QCommandLineParser& parser, const QStringList& inputs)
{
    QString error;
    if (parser.isSet(QStringLiteral("output"))) {
        printError(QStringLiteral("-o takes one input; give --output-dir for several"));
        return EXIT_BAD_INPUT;
    }
    DecodeBatch batch;
    if (!batch.configure(parser, inputs, error)) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    ShutdownSignals::Install();
    return batch.run();
}

} // namespace

int runDecodeCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    addOptions(parser);

    const int parsed = CommandLine::Parse(parser, QStringLiteral("decode"), arguments,
                                          QStringLiteral("[options] [FILE...|-]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QString format = parser.value(QStringLiteral("format"));
    if (format != QLatin1String("text") && format != QLatin1String("jsonl")) {
        printError(QStringLiteral("--format expects text or jsonl, got \"%1\"").arg(format));
        return EXIT_BAD_INPUT;
    }
    QString error;
    const QStringList inputs = DecodeBatch::ExpandInputs(parser.positionalArguments(), error);
    if (!error.isEmpty()) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    if (inputs.size() > 1 || parser.isSet(QStringLiteral("output-dir")))
        return decodeBatch(parser, inputs);
    if (parser.isSet(QStringLiteral("jobs"))) {
        printError(QStringLiteral("--jobs does not apply to one input"));
        return EXIT_BAD_INPUT;
    }

    DecodeHost::Options options;
    if (!readHostOptions(parser, options, error)) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    ShutdownSignals::Install();
    return decodeInput(parser, inputs.first(), options);
}
