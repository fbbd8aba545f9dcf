#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

class QIODevice;

/// The contract that every morsetool command shares: -h/--help and --version, errors printed
/// as "morsetool COMMAND: message" in one wording per situation, options that do not apply to
/// the input refused, and output that is checked when it is written.
class CommandLine
{
public:
    /// Value of Parse() when the command should go on.
    static constexpr int CONTINUE = -1;

    /// Adds --help and --version and parses @p arguments of "morsetool @p command". CONTINUE to
    /// go on; otherwise the exit code to return (help or version printed: 0, a parse error: 2).
    /// @p usage replaces the generic "[options]" of the usage line when given.
    static int Parse(QCommandLineParser& parser, const QString& command,
                     const QStringList& arguments, const QString& usage = QString());
    /// Reads option @p name as a number from @p minimum to @p maximum into @p value (left as it
    /// is when the option is not given); false, after a message, for anything else.
    static bool ReadNumber(const QCommandLineParser& parser, const QString& command,
                           const QString& name, double minimum, double maximum, double& value);
    /// Prints "morsetool @p command: @p message" on stderr and returns @p exitCode.
    static int Fail(const QString& command, int exitCode, const QString& message);

    /// CONTINUE when none of @p options (names without dashes) is set; else the usage error
    /// "--NAME does not apply to @p what" (exit code 2).
    static int RejectOptions(const QCommandLineParser& parser, const QString& command,
                             const QStringList& options, const QString& what);
    /// CONTINUE when no positional argument was given; else the usage error "unexpected
    /// argument "ARG"" for the first one (exit code 2).
    static int RejectArguments(const QCommandLineParser& parser, const QString& command);

    /// Opens @p path for reading ("-" is standard input, read as it comes and byte for byte);
    /// null with @p error in the common wording.
    static std::unique_ptr<QIODevice> OpenInput(const QString& path, QString& error);
    /// The text of a command line: the words given, joined by blanks, or standard input for
    /// none or "-" (without the line feed that ends it). False with @p error when standard
    /// input cannot be read or is not UTF-8.
    static bool ReadText(const QStringList& words, QString& text, QString& error);
    /// The name of @p path in messages: "standard input" for "-".
    static QString InputName(const QString& path);
    /// "cannot open "PATH": REASON", the one wording for an input or output that cannot be used.
    static QString CannotOpen(const QString& path, const QString& reason);
    /// @p bytes as they may appear in a message: printable ASCII, other bytes as "\xNN",
    /// shortened to @p limit bytes.
    static QString Shown(const QByteArray& bytes, int limit = 24);

    /// Whether @p stream goes to a terminal (a person reads it as it comes).
    static bool IsTerminal(FILE* stream);
    /// Flushes @p stream and tells whether everything written to it arrived; false with
    /// @p error naming @p name when a write failed (a full disk, a closed pipe).
    static bool FinishOutput(FILE* stream, const QString& name, QString& error);
};
