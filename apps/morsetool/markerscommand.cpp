// morsetool markers [FILE...]: Morse symbol codes in, the marker text that
// SimpleMorseHandler::Translate reads out.

#include "commandline.h"
#include "commands.h"
#include "textsymbolsource.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <QCommandLineParser>
#include <QFile>
#include <QVector>

#include <cstdio>
#include <memory>

namespace {

int fail(int exitCode, const QString& message)
{
    return CommandLine::Fail(QStringLiteral("markers"), exitCode, message);
}

/// Prints the marker text of every code of @p path; false with @p error for input that cannot
/// be read (what came before it is printed).
bool convertInput(const QString& path, QString& error)
{
    std::unique_ptr<QIODevice> input = CommandLine::OpenInput(path, error);
    if (!input)
        return false;
    TextSymbolSource source(std::move(input));
    SymbolSource::Symbol symbol;
    QVector<short> codes;
    while (source.next(symbol)) {
        // Only the lowest seven bits count; keeping fifteen makes the narrowing exact.
        codes.append(static_cast<short>(symbol.code & 0x7FFF));
        if (codes.size() >= 4096 || symbol.code == 5) {
            std::fputs(SimpleMorseHandler::ConvertSymbols(codes).toUtf8().constData(), stdout);
            codes.clear();
        }
    }
    std::fputs(SimpleMorseHandler::ConvertSymbols(codes).toUtf8().constData(), stdout);
    if (!source.errorString().isEmpty()) {
        error = QStringLiteral("%1: %2").arg(CommandLine::InputName(path), source.errorString());
        return false;
    }
    return true;
}

} // namespace

int runMarkersCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads Morse symbol codes, as 'morsetool decode' does, and prints their\n"
                       "marker text for 'morsetool translate'. \"@t\" time lines are read and\n"
                       "carry no marker.\n\n") +
        TextSymbolSource::formatDescription());
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("Files of codes, read one after the other; standard input when absent "
                       "or -."),
        QStringLiteral("[FILE...|-]"));
    const int parsed = CommandLine::Parse(parser, QStringLiteral("markers"), arguments,
                                          QStringLiteral("[FILE...|-]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        files << QStringLiteral("-");
    for (const QString& file : files) {
        QString error;
        if (!convertInput(file, error))
            return fail(EXIT_BAD_INPUT, error);
    }
    return EXIT_OK;
}
