// morsetool: runs the morsehandler library on real input from the command line.

#include "commandline.h"
#include "commands.h"
#ifdef MORSETOOL_HAVE_RTTY
#include "rttycommands.h"
#endif

#include "tools/morsehandler/version.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <functional>

namespace {

struct Command
{
    const char* name;
    std::function<int(const QStringList&)> run;
    const char* summary;
};

#ifdef MORSETOOL_HAVE_RTTY
// decode and synth work on Morse (the default) or, with "--mode rtty", on teleprinter signals.
const auto DECODE = WithModes("decode", runDecodeCommand, runRttyDecodeCommand);
const auto SYNTH = WithModes("synth", runSynthCommand, runRttySynthCommand);
#else
const auto DECODE = runDecodeCommand;
const auto SYNTH = runSynthCommand;
#endif

const Command COMMANDS[] = {
    {"decode", DECODE, "decode Morse symbol codes (or audio) to text"},
    {"encode", runEncodeCommand, "print the symbol codes of a text"},
    {"alphabets", runAlphabetsCommand, "list the Morse alphabets"},
    {"markers", runMarkersCommand, "turn symbol codes into marker text"},
    {"translate", runTranslateCommand, "translate marker text through an alphabet"},
    {"codec", runCodecCommand, "translate decoder codes through a codec"},
    {"codecs", runCodecsCommand, "list the codecs offered for a decoder"},
    {"modules", runModulesCommand, "list the decoder modules catalogue"},
    {"map", runMapCommand, "translate decoder text through a charset map"},
    {"synth", SYNTH, "synthesize a Morse audio recording"},
#ifdef MORSETOOL_HAVE_CW
    {"skim", runSkimCommand, "decode every CW signal of a recording at once"},
#endif
    {"check", runCheckCommand, "report the lines of data files read unusually"},
};

void printUsage(FILE* out)
{
    std::fprintf(out, "Usage: morsetool COMMAND [OPTIONS]\n"
                      "       morsetool help [COMMAND]\n"
                      "       morsetool --version\n\nCommands:\n");
    for (const Command& command : COMMANDS)
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    std::fprintf(out, "\n'morsetool help COMMAND' or 'morsetool COMMAND --help' describes a "
                      "command.\nExit codes: 0 done, 1 a failure while running, 2 input or "
                      "usage that cannot be used.\n");
}

const Command* findCommand(const QString& name)
{
    for (const Command& command : COMMANDS) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

int unknownCommand(const QString& context, const QString& name)
{
    return CommandLine::Fail(context, EXIT_BAD_INPUT,
                             QStringLiteral("unknown command \"%1\" ('morsetool help' lists the "
                                            "commands)")
                                 .arg(CommandLine::Shown(name.toUtf8(), 40)));
}

/// "morsetool help [COMMAND]".
int runHelp(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        printUsage(stdout);
        return EXIT_OK;
    }
    if (arguments.size() > 1)
        return CommandLine::Fail(QStringLiteral("help"), EXIT_BAD_INPUT,
                                 QStringLiteral("expected one COMMAND at most"));
    const Command* command = findCommand(arguments.first());
    return command ? command->run({QStringLiteral("--help")})
                   : unknownCommand(QStringLiteral("help"), arguments.first());
}

int dispatch(QStringList arguments)
{
    if (arguments.isEmpty()) {
        printUsage(stderr);
        return EXIT_BAD_INPUT;
    }
    const QString name = arguments.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help"))
        return runHelp(arguments);
    if (name == QLatin1String("--version")) {
        std::printf("morsetool %s\n", morse::LibraryVersion());
        return EXIT_OK;
    }
    const Command* command = findCommand(name);
    return command ? command->run(arguments) : unknownCommand(QString(), name);
}

/// False, after a message, when an argument holds bytes that do not survive decoding in the
/// locale's encoding: a path given so would name another file than the one meant.
bool argumentsDecode(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QFile::encodeName(QFile::decodeName(raw)) != raw) {
            CommandLine::Fail(QString(), EXIT_BAD_INPUT,
                              QStringLiteral("argument %1 (\"%2\") holds bytes that are not "
                                             "valid in the locale's encoding; file and folder "
                                             "names must be")
                                  .arg(i)
                                  .arg(CommandLine::Shown(raw, 60)));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Without TZ the C library looks at /etc/localtime again for every local time it
    // converts (each line's time stamps); naming the same file once spares those calls.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morsetool"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(morse::LibraryVersion()));
    // Into a file or a pipe, whole lines at a time: one write per line, not per character.
    if (!CommandLine::IsTerminal(stdout))
        std::setvbuf(stdout, nullptr, _IOLBF, 1 << 16);

    if (!argumentsDecode(argc, argv))
        return EXIT_BAD_INPUT;
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int status = dispatch(arguments);
    QString error;
    if (!CommandLine::FinishOutput(stdout, QStringLiteral("standard output"), error)) {
        const QString command = arguments.isEmpty() ? QString() : arguments.first();
        CommandLine::Fail(CommandLine::Shown(command.toUtf8(), 40), EXIT_FAILURE_RUNNING, error);
        return status == EXIT_OK ? EXIT_FAILURE_RUNNING : status;
    }
    return status;
}
