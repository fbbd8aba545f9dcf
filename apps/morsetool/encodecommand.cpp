// morsetool encode: the Morse symbol codes of a text, in the built-in International alphabet or
// one of the alphabets directory.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "morseencoder.h"

#include "tools/morsecore/internationalalphabet.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

int fail(int exitCode, const QString& message)
{
    return CommandLine::Fail(QStringLiteral("encode"), exitCode, message);
}

} // namespace

int runEncodeCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the Morse symbol codes of TEXT as a demodulator would deliver them: 0 dot,\n"
        "1 dash, 3 after each character, 4 for each run of blanks, 5 for a line feed.\n"
        "Letters are taken as given, else in upper case. Without TEXT, or with -, the text is\n"
        "read from standard input. The output is input for 'morsetool decode'."));
    parser.addPositionalArgument(
        QStringLiteral("text"), QStringLiteral("The text; several arguments are joined by blanks."),
        QStringLiteral("[TEXT...|-]"));
    const QCommandLineOption symbolsOption(
        QStringLiteral("symbols"),
        QStringLiteral("Print symbol text (. - c w, line feeds) instead of integer codes."));
    const QCommandLineOption alphabetOption(
        QStringLiteral("alphabet"),
        QStringLiteral("Encode through the alphabet NAME (see 'morsetool alphabets'); default: "
                       "the built-in International alphabet."),
        QStringLiteral("NAME"));
    const QCommandLineOption alphabetsOption(
        QStringLiteral("alphabets"), QStringLiteral("The alphabets directory."),
        QStringLiteral("DIR"), DataPaths::AlphabetsDirectory());
    parser.addOptions({symbolsOption, alphabetOption, alphabetsOption});

    const int parsed = CommandLine::Parse(parser, QStringLiteral("encode"), arguments,
                                          QStringLiteral("[options] [TEXT...|-]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    MorseEncoder encoder;
    QString error;
    if (parser.isSet(alphabetOption) &&
        !encoder.loadAlphabet(parser.value(alphabetsOption), parser.value(alphabetOption), error))
        return fail(EXIT_BAD_INPUT, error);
    QString text;
    if (!CommandLine::ReadText(parser.positionalArguments(), text, error))
        return fail(EXIT_BAD_INPUT, error);
    if (text.isEmpty())
        return fail(EXIT_BAD_INPUT, QStringLiteral("no text given"));

    QVector<int> codes;
    QString unknown;
    if (!encoder.encode(text, codes, unknown)) {
        for (const QChar c : unknown)
            fail(EXIT_BAD_INPUT, QStringLiteral("no Morse code for '%1' (U+%2)")
                                     .arg(c.isPrint() ? QString(c) : QStringLiteral("?"))
                                     .arg(c.unicode(), 4, 16, QLatin1Char('0')));
        return EXIT_BAD_INPUT;
    }

    QString line;
    if (parser.isSet(symbolsOption)) {
        line = MorseEncoder::symbolText(codes);
    } else {
        for (int i = 0; i < codes.size(); ++i)
            line += (i > 0 ? QStringLiteral(" ") : QString()) + QString::number(codes.at(i));
    }
    if (!line.endsWith(QLatin1Char('\n')))
        line += QLatin1Char('\n');
    std::fputs(line.toUtf8().constData(), stdout);
    return EXIT_OK;
}
