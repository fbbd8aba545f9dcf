// morsetool translate --alphabet NAME [--alphabets DIR] [FILE...]: marker text in, its
// translation on standard output, written as soon as each character is complete.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "markerchunker.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <QCommandLineParser>
#include <QFile>
#include <QScopedPointer>
#include <QTextCodec>
#include <QTextDecoder>

#include <cstdio>

namespace {

bool writeOut(const QString& text)
{
    if (text.isEmpty())
        return true;
    const QByteArray bytes = text.toUtf8();
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) ==
               size_t(bytes.size()) &&
           std::fflush(stdout) == 0;
}

int fail(int exitCode, const QString& message)
{
    return CommandLine::Fail(QStringLiteral("translate"), exitCode, message);
}

/// Translates what @p file holds as it arrives (a pipe is read as soon as bytes come), through
/// @p handler. The exit code.
int translateInput(QIODevice& input, const QString& path, SimpleMorseHandler& handler)
{
    QScopedPointer<QTextDecoder> decoder(QTextCodec::codecForName("UTF-8")->makeDecoder());
    MarkerChunker chunker;
    char buffer[4096];
    for (;;) {
        const qint64 count = input.read(buffer, sizeof buffer);
        if (count < 0)
            return fail(EXIT_FAILURE_RUNNING,
                        QStringLiteral("cannot read %1").arg(CommandLine::InputName(path)));
        if (count == 0)
            break;
        if (!writeOut(handler.Translate(chunker.take(decoder->toUnicode(buffer, int(count))))))
            return EXIT_FAILURE_RUNNING;
    }
    return writeOut(handler.Translate(chunker.finish())) ? EXIT_OK : EXIT_FAILURE_RUNNING;
}

} // namespace

int runTranslateCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Translates Morse marker text (from 'morsetool markers') read from FILEs or standard\n"
        "input through a Morse alphabet; the output does not depend on how the input is split."));
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("Files of marker text, read one after the "
                                                "other; standard input when absent or -."),
                                 QStringLiteral("[FILE...|-]"));
    const QCommandLineOption alphabetOption(
        QStringLiteral("alphabet"), QStringLiteral("Alphabet name (see 'morsetool alphabets')."),
        QStringLiteral("name"));
    const QCommandLineOption directoryOption(
        QStringLiteral("alphabets"), QStringLiteral("Directory of .mal files."),
        QStringLiteral("dir"), DataPaths::AlphabetsDirectory());
    parser.addOptions({alphabetOption, directoryOption});
    const int parsed =
        CommandLine::Parse(parser, QStringLiteral("translate"), arguments,
                           QStringLiteral("--alphabet NAME [--alphabets DIR] [FILE...|-]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    if (!parser.isSet(alphabetOption))
        return fail(EXIT_BAD_INPUT, QStringLiteral("--alphabet NAME is required"));

    const QString directory = parser.value(directoryOption);
    const QString name = parser.value(alphabetOption);
    SimpleMorseHandler handler;
    handler.SetAlphabetsDir(directory);
    if (!handler.SetAlphabet(name))
        return fail(EXIT_BAD_INPUT,
                    QStringLiteral("unknown alphabet \"%1\" (no .mal file of that name in \"%2\")")
                        .arg(name, directory));

    QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        files << QStringLiteral("-");
    for (const QString& path : files) {
        QString error;
        const std::unique_ptr<QIODevice> input = CommandLine::OpenInput(path, error);
        if (!input)
            return fail(EXIT_BAD_INPUT, error);
        const int status = translateInput(*input, path, handler);
        if (status != EXIT_OK)
            return status;
    }
    return EXIT_OK;
}
