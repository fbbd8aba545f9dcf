#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

/// The command-line handling that every morsetool command shares: a --help option whose usage
/// line names the command as typed, and errors printed as "morsetool COMMAND: message".
class CommandLine
{
public:
    /// Value of Parse() when the command should go on.
    static constexpr int CONTINUE = -1;

    /// Adds --help and parses @p arguments of "morsetool @p command". CONTINUE to go on;
    /// otherwise the exit code to return (help printed: 0, a parse error: 2). @p usage replaces
    /// the generic "[options]" of the usage line when given.
    static int Parse(QCommandLineParser& parser, const QString& command,
                     const QStringList& arguments, const QString& usage = QString());
    /// Reads option @p name as a number from @p minimum to @p maximum into @p value (left as it
    /// is when the option is not given); false, after a message, for anything else.
    static bool ReadNumber(const QCommandLineParser& parser, const QString& command,
                           const QString& name, double minimum, double maximum, double& value);
    /// Prints "morsetool @p command: @p message" on stderr and returns @p exitCode.
    static int Fail(const QString& command, int exitCode, const QString& message);
};
