#include "commandline.h"
#include "commands.h"

#include <cstdio>

int CommandLine::Parse(QCommandLineParser& parser, const QString& command,
                       const QStringList& arguments, const QString& usage)
{
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(QStringList(QStringLiteral("morsetool ") + command) + arguments))
        return Fail(command, EXIT_BAD_INPUT, parser.errorText());
    if (!parser.isSet(help))
        return CONTINUE;
    // The parser's usage line names the executable's path; show the command as it is typed.
    QString text = parser.helpText();
    const QString usageLine =
        QStringLiteral("Usage: morsetool %1 %2")
            .arg(command, usage.isEmpty() ? QStringLiteral("[options]") : usage);
    text.replace(0, text.indexOf(QLatin1Char('\n')), usageLine);
    std::fputs(text.toUtf8().constData(), stdout);
    return EXIT_OK;
}

int CommandLine::Fail(const QString& command, int exitCode, const QString& message)
{
    std::fprintf(stderr, "morsetool %s: %s\n", command.toUtf8().constData(),
                 message.toUtf8().constData());
    return exitCode;
}

bool CommandLine::ReadNumber(const QCommandLineParser& parser, const QString& command,
                             const QString& name, double minimum, double maximum, double& value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double number = parser.value(name).toDouble(&ok);
    if (!ok || !(number >= minimum && number <= maximum)) {
        Fail(command, EXIT_BAD_INPUT,
             QStringLiteral("--%1 must be a number from %2 to %3")
                 .arg(name)
                 .arg(minimum)
                 .arg(maximum));
        return false;
    }
    value = number;
    return true;
}
