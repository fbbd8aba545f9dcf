// morsetool encode: the Morse symbol codes of a text, in the built-in International alphabet.

#include "commandline.h"
#include "commands.h"

#include "tools/morsecore/internationalalphabet.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>

#include <cstdio>

namespace {

constexpr int CODE_NEW_CHAR = 3;
constexpr int CODE_NEW_WORD = 4;
constexpr int CODE_NEW_LINE = 5;

/// Single characters of the built-in alphabet and their codes ("WARNING" and "ERROR" are
/// whole words and are spelled out letter by letter instead).
QHash<QChar, QString> characterCodes()
{
    QHash<QChar, QString> codes;
    const morse::InternationalAlphabet::Entry* entries = morse::InternationalAlphabet::Entries();
    for (int i = 0; i < morse::InternationalAlphabet::ENTRY_COUNT; ++i) {
        const QString text = QString::fromLatin1(entries[i].text);
        if (text.size() == 1)
            codes.insert(text.at(0), QString::fromLatin1(entries[i].code));
    }
    return codes;
}

} // namespace

int runEncodeCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the Morse symbol codes of TEXT in the built-in International alphabet, as a\n"
        "demodulator would deliver them: 0 dot, 1 dash, 3 after each character, 4 for each\n"
        "run of blanks, 5 for a line feed. Letters are taken in upper case. The output is\n"
        "input for 'morsetool decode'."));
    parser.addPositionalArgument(
        QStringLiteral("text"), QStringLiteral("The text; several arguments are joined by blanks."),
        QStringLiteral("TEXT..."));
    const QCommandLineOption symbolsOption(
        QStringLiteral("symbols"),
        QStringLiteral("Print symbol text (. - c w, line feeds) instead of integer codes."));
    parser.addOption(symbolsOption);

    const int parsed = CommandLine::Parse(parser, QStringLiteral("encode"), arguments,
                                          QStringLiteral("[--symbols] TEXT"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QString text = parser.positionalArguments().join(QLatin1Char(' '));
    if (text.isEmpty()) {
        std::fprintf(stderr, "morsetool encode: no text given\n");
        return EXIT_BAD_INPUT;
    }

    const QHash<QChar, QString> codes = characterCodes();
    QList<int> output;
    QString unknown;
    bool inBlank = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            output.append(CODE_NEW_LINE);
            inBlank = false;
        } else if (c.isSpace()) {
            if (!inBlank)
                output.append(CODE_NEW_WORD);
            inBlank = true;
        } else {
            inBlank = false;
            const auto it = codes.constFind(c.toUpper());
            if (it == codes.constEnd()) {
                if (!unknown.contains(c))
                    unknown += c;
                continue;
            }
            for (const QChar element : it.value())
                output.append(element == QLatin1Char('-') ? 1 : 0);
            output.append(CODE_NEW_CHAR);
        }
    }
    if (!unknown.isEmpty()) {
        for (const QChar c : unknown)
            std::fprintf(stderr, "morsetool encode: no Morse code for '%s' (U+%04X)\n",
                         QString(c).toUtf8().constData(), c.unicode());
        return EXIT_BAD_INPUT;
    }

    const bool symbols = parser.isSet(symbolsOption);
    QString line;
    for (int i = 0; i < output.size(); ++i) {
        const int code = output.at(i);
        if (symbols) {
            static const char SYMBOL_TEXT[] = ".-?cw\n";
            line += QLatin1Char(SYMBOL_TEXT[code]);
        } else {
            line += (i > 0 ? QStringLiteral(" ") : QString()) + QString::number(code);
        }
    }
    if (!line.endsWith(QLatin1Char('\n')))
        line += QLatin1Char('\n');
    std::fputs(line.toUtf8().constData(), stdout);
    return EXIT_OK;
}
