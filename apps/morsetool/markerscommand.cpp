// morsetool markers [FILE]: integer Morse symbol codes in, the marker text that
// SimpleMorseHandler::Translate reads out.

#include "commandline.h"
#include "commands.h"

#include "tools/morsehandler/simplemorsehandler.h"

#include <QCommandLineParser>
#include <QFile>
#include <QVector>

#include <cstdio>

namespace {

/// Integers separated by white space or commas; "#" starts a comment that runs to the end of
/// the line. False, with @p error set, at the first token that is not a decimal integer.
bool parseCodes(const QByteArray& input, QVector<short>& codes, QString& error)
{
    const QList<QByteArray> lines = input.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        QByteArray line = lines.at(n);
        const int comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        line.replace(',', ' ');
        const QList<QByteArray> tokens = line.simplified().split(' ');
        for (const QByteArray& token : tokens) {
            if (token.isEmpty())
                continue;
            bool ok = false;
            const qlonglong value = token.toLongLong(&ok);
            if (!ok) {
                error = QStringLiteral("line %1: '%2' is not an integer code")
                            .arg(n + 1)
                            .arg(QString::fromUtf8(token.left(40)));
                return false;
            }
            // Only the lowest seven bits count; keeping fifteen makes the narrowing exact.
            codes.append(static_cast<short>(value & 0x7FFF));
        }
    }
    return true;
}

} // namespace

int runMarkersCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads integer Morse symbol codes (0 dot, 1 dash, 3 end of character, 4 end of word,\n"
        "5 end of line, 64-66 timing errors; separated by blanks, line feeds or commas, '#'\n"
        "starts a comment) and prints their marker text for 'morsetool translate'."));
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("File of codes; standard input when absent or -."),
                                 QStringLiteral("[file]"));
    const int parsed = CommandLine::Parse(parser, QStringLiteral("markers"), arguments);
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "morsetool markers: one input file at most\n");
        return EXIT_BAD_INPUT;
    }

    QFile input;
    const bool fromStdin = files.isEmpty() || files.first() == QLatin1String("-");
    const bool opened = fromStdin
                            ? input.open(stdin, QIODevice::ReadOnly)
                            : (input.setFileName(files.first()), input.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "morsetool markers: cannot read %s: %s\n",
                     qPrintable(fromStdin ? QStringLiteral("standard input") : files.first()),
                     qPrintable(input.errorString()));
        return EXIT_BAD_INPUT;
    }

    QVector<short> codes;
    QString error;
    if (!parseCodes(input.readAll(), codes, error)) {
        std::fprintf(stderr, "morsetool markers: %s\n", qPrintable(error));
        return EXIT_BAD_INPUT;
    }
    const QByteArray text = SimpleMorseHandler::ConvertSymbols(codes).toUtf8();
    if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()) ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "morsetool markers: cannot write the output\n");
        return EXIT_FAILURE_RUNNING;
    }
    return EXIT_OK;
}
