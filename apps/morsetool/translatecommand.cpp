// morsetool translate --alphabet NAME [--alphabets DIR]: marker text on standard input, its
// translation on standard output, written as soon as each character is complete.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "markerchunker.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <QCommandLineParser>
#include <QScopedPointer>
#include <QTextCodec>
#include <QTextDecoder>

#include <cerrno>
#include <cstdio>

#if defined(Q_OS_WIN)
#include <io.h>
#define MORSETOOL_READ _read
#else
#include <unistd.h>
#define MORSETOOL_READ ::read
#endif

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

} // namespace

int runTranslateCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Translates Morse marker text (from 'morsetool markers') read from standard input\n"
        "through a Morse alphabet; the output does not depend on how the input is split."));
    const QCommandLineOption alphabetOption(
        QStringLiteral("alphabet"), QStringLiteral("Alphabet name (see 'morsetool alphabets')."),
        QStringLiteral("name"));
    const QCommandLineOption directoryOption(
        QStringLiteral("alphabets"), QStringLiteral("Directory of .mal files."),
        QStringLiteral("dir"), DataPaths::AlphabetsDirectory());
    parser.addOptions({alphabetOption, directoryOption});
    const int parsed = CommandLine::Parse(parser, QStringLiteral("translate"), arguments);
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    if (!parser.isSet(alphabetOption) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "morsetool translate: usage: morsetool translate --alphabet NAME "
                             "[--alphabets DIR] < markers\n");
        return EXIT_BAD_INPUT;
    }

    const QString directory = parser.value(directoryOption);
    const QString name = parser.value(alphabetOption);
    SimpleMorseHandler handler;
    handler.SetAlphabetsDir(directory);
    if (!handler.SetAlphabet(name)) {
        std::fprintf(stderr, "morsetool translate: no alphabet '%s' in '%s'\n", qPrintable(name),
                     qPrintable(directory));
        return EXIT_BAD_INPUT;
    }

    QScopedPointer<QTextDecoder> decoder(QTextCodec::codecForName("UTF-8")->makeDecoder());
    MarkerChunker chunker;
    char buffer[4096];
    for (;;) {
        const auto count = MORSETOOL_READ(0, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            std::fprintf(stderr, "morsetool translate: cannot read standard input\n");
            return EXIT_FAILURE_RUNNING;
        }
        if (count == 0)
            break;
        if (!writeOut(handler.Translate(chunker.take(decoder->toUnicode(buffer, int(count))))))
            return EXIT_FAILURE_RUNNING;
    }
    if (!writeOut(handler.Translate(chunker.finish())))
        return EXIT_FAILURE_RUNNING;
    return EXIT_OK;
}
