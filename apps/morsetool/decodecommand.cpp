// morsetool decode: runs a MorseHandler on symbol codes read from a file or standard input.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "decodehost.h"
#include "textsymbolsource.h"
#ifdef MORSETOOL_HAVE_CW
#include "audiosymbolsource.h"
#endif
#ifdef MORSETOOL_HAVE_RTTY
#include "rttycommands.h"
#endif

#include "host/errorhandler.h"
#include "tools/morsehandler/alphabetdirectory.h"
#include "tools/morsehandler/alphabetfilereader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

void printError(const QString& message)
{
    CommandLine::Fail(QStringLiteral("decode"), EXIT_BAD_INPUT, message);
}

#ifdef MORSETOOL_HAVE_CW
/// The codes of the alphabet @p name of @p directory, for the CW demodulator to expect; empty
/// for the built-in alphabet, or for one that cannot be read (the host reports that).
std::vector<std::string> alphabetCodes(const QString& directory, const QString& name)
{
    std::vector<std::string> codes;
    QFile file(name.isEmpty() ? QString() : morse::AlphabetDirectory::FileOf(directory, name));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return codes;
    QMap<QString, QString> map;
    bool rightToLeft = false;
    morse::AlphabetFileReader::Read(file, map, rightToLeft);
    for (const QString& code : map)
        codes.push_back(code.toStdString());
    return codes;
}
#endif

/// The source of symbol codes for @p path ("-" is standard input). The one place that decides
/// how an input is read.
std::unique_ptr<SymbolSource> openSymbolSource(const QString& path,
                                               const QCommandLineParser& options,
                                               const DecodeHost::Options& host, QString& error)
{
#ifdef MORSETOOL_HAVE_CW
    // Recordings (recognised by content or audio extension, or raw samples on standard input
    // with --rate) go through the CW demodulator.
    AudioSymbolSource::Options audio;
    if (!AudioSymbolSource::readOptions(options, audio, error))
        return nullptr;
    audio.characterCodes = alphabetCodes(host.alphabetsDirectory, host.alphabet);
    if (AudioSymbolSource::IsAudioInput(path, audio)) {
        auto source = std::make_unique<AudioSymbolSource>();
        if (!source->open(path, audio)) {
            error = source->errorString();
            return nullptr;
        }
        return source;
    }
#else
    Q_UNUSED(options)
    Q_UNUSED(host)
#endif
    auto file = std::make_unique<QFile>();
    bool opened = false;
    if (path == QLatin1String("-")) {
        opened = file->open(stdin, QIODevice::ReadOnly);
    } else {
        file->setFileName(path);
        opened = file->open(QIODevice::ReadOnly);
    }
    if (!opened) {
        error = QStringLiteral("cannot open \"%1\": %2").arg(path, file->errorString());
        return nullptr;
    }
    return std::make_unique<TextSymbolSource>(std::move(file));
}

} // namespace

int runDecodeCommand(const QStringList& givenArguments)
{
#ifdef MORSETOOL_HAVE_RTTY
    QStringList arguments = givenArguments;
    int exitCode = EXIT_OK;
    if (RunsOtherMode(arguments, QStringLiteral("decode"), runRttyDecodeCommand, exitCode))
        return exitCode;
#else
    const QStringList& arguments = givenArguments;
#endif
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Decodes Morse symbol codes to text with the morsehandler library, as the\n"
                       "monitoring application runs it. Text is printed as it is decoded.\n\n") +
        TextSymbolSource::formatDescription());
    parser.addPositionalArgument(QStringLiteral("input"),
                                 QStringLiteral("Input file, or - for standard input (default)."),
                                 QStringLiteral("[FILE|-]"));
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
    parser.addOptions({alphabetOption, alphabetsOption, saveOption, frequencyOption, traceOption,
                       retranslateOption});
#ifdef MORSETOOL_HAVE_CW
    parser.addOptions(AudioSymbolSource::commandLineOptions());
#endif

    const int parsed = CommandLine::Parse(parser, QStringLiteral("decode"), arguments,
                                          QStringLiteral("[options] [FILE|-]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        printError(QStringLiteral("expected one input, got %1").arg(positional.size()));
        return EXIT_BAD_INPUT;
    }

    DecodeHost::Options options;
    options.alphabetsDirectory = parser.value(alphabetsOption);
    if (!options.alphabetsDirectory.isEmpty())
        options.alphabetsDirectory = QDir(options.alphabetsDirectory).absolutePath();
    options.alphabet = parser.value(alphabetOption);
    bool frequencyOk = false;
    options.frequencyHz = parser.value(frequencyOption).toDouble(&frequencyOk);
    if (!frequencyOk || options.frequencyHz < 0) {
        printError(QStringLiteral("--frequency expects a number of Hz, got \"%1\"")
                       .arg(parser.value(frequencyOption)));
        return EXIT_BAD_INPUT;
    }
    if (parser.isSet(saveOption)) {
        const QString directory = parser.value(saveOption);
        if (directory.isEmpty() || !QDir().mkpath(directory)) {
            printError(QStringLiteral("cannot create the save directory \"%1\"").arg(directory));
            return EXIT_BAD_INPUT;
        }
        options.saveDirectory = QDir(directory).absolutePath();
    }
    if (parser.isSet(traceOption))
        ErrorHandler::Instance()->SetTraceFlags(ErrorHandler::Instance()->GetTraceFlags() |
                                                TRACE_FLAG_LIBRARY);

    QString error;
    const QString input = positional.isEmpty() ? QStringLiteral("-") : positional.first();
    std::unique_ptr<SymbolSource> source = openSymbolSource(input, parser, options, error);
    if (!source) {
        printError(error);
        return EXIT_BAD_INPUT;
    }

    DecodeHost host(options, stdout, stderr);
    if (!host.start(error)) {
        printError(error);
        return EXIT_BAD_INPUT;
    }
    if (parser.isSet(retranslateOption) && !host.hasAlphabet(parser.value(retranslateOption))) {
        printError(QStringLiteral("--retranslate: no alphabet \"%1\" in \"%2\"")
                       .arg(parser.value(retranslateOption), options.alphabetsDirectory));
        return EXIT_BAD_INPUT;
    }
    SymbolSource::Symbol symbol;
    while (source->next(symbol))
        host.feed(symbol);
    std::fputc('\n', stdout);
    std::fflush(stdout);

    int status = EXIT_OK;
    if (parser.isSet(retranslateOption)) {
        QString text;
        if (host.retranslate(parser.value(retranslateOption), text, error)) {
            std::fprintf(stdout, "%s\n", text.toUtf8().constData());
            std::fflush(stdout);
        } else {
            printError(error);
            status = EXIT_BAD_INPUT;
        }
    }
    if (!host.finish(error)) {
        printError(error);
        status = EXIT_FAILURE_RUNNING;
    }
    if (!source->errorString().isEmpty()) {
        printError(QStringLiteral("%1: %2").arg(
            input == QLatin1String("-") ? QStringLiteral("standard input") : input,
            source->errorString()));
        status = EXIT_BAD_INPUT;
    }
    return status;
}
