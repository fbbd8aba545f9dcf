// morsetool: runs the morsehandler library on real input from the command line.

#include "commands.h"

#include "tools/morsehandler/version.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>

namespace {

struct Command
{
    const char* name;
    std::function<int(const QStringList&)> run;
    const char* summary;
};

const Command COMMANDS[] = {
    {"decode", runDecodeCommand, "decode Morse symbol codes (or audio) to text"},
    {"encode", runEncodeCommand, "print the symbol codes of a text"},
    {"alphabets", runAlphabetsCommand, "list the Morse alphabets"},
    {"markers", runMarkersCommand, "turn symbol codes into marker text"},
    {"translate", runTranslateCommand, "translate marker text through an alphabet"},
    {"codec", runCodecCommand, "translate decoder codes through a codec"},
    {"codecs", runCodecsCommand, "list the codecs offered for a decoder"},
    {"modules", runModulesCommand, "list the decoder modules catalogue"},
    {"map", runMapCommand, "translate decoder text through a charset map"},
    {"synth", runSynthCommand, "synthesize a Morse audio recording"},
};

void printUsage(FILE* out)
{
    std::fprintf(out, "Usage: morsetool COMMAND [OPTIONS]\n\nCommands:\n");
    for (const Command& command : COMMANDS)
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    std::fprintf(out, "\n'morsetool COMMAND --help' describes a command.\n");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morsetool"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(morse::LibraryVersion()));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help") ||
        arguments.first() == QLatin1String("-h")) {
        printUsage(arguments.isEmpty() ? stderr : stdout);
        return arguments.isEmpty() ? EXIT_BAD_INPUT : EXIT_OK;
    }
    if (arguments.first() == QLatin1String("--version")) {
        std::printf("morsetool %s\n", morse::LibraryVersion());
        return EXIT_OK;
    }
    const QString name = arguments.takeFirst();
    for (const Command& command : COMMANDS) {
        if (name == QLatin1String(command.name))
            return command.run(arguments);
    }
    std::fprintf(stderr, "morsetool: unknown command '%s'\n\n", qPrintable(name));
    printUsage(stderr);
    return EXIT_BAD_INPUT;
}
