#include "commandline.h"
#include "commands.h"
#include "descriptordevice.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

void writeText(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int CommandLine::Parse(QCommandLineParser& parser, const QString& command,
                       const QStringList& arguments, const QString& usage)
{
    // Our own help option: the parser's would also offer --help-all, which lists Qt's options.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version of morsetool and exit."));
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(QStringList(QStringLiteral("morsetool ") + command) + arguments))
        return Fail(command, EXIT_BAD_INPUT,
                    parser.errorText() + QStringLiteral(" (see 'morsetool help %1')").arg(command));
    if (parser.isSet(version)) {
        writeText(stdout,
                  QStringLiteral("morsetool %1\n").arg(QCoreApplication::applicationVersion()));
        return EXIT_OK;
    }
    if (!parser.isSet(help))
        return CONTINUE;
    // The parser's usage line names the executable's path; show the command as it is typed.
    QString text = parser.helpText();
    const QString usageLine =
        QStringLiteral("Usage: morsetool %1 %2")
            .arg(command, usage.isEmpty() ? QStringLiteral("[options]") : usage);
    text.replace(0, text.indexOf(QLatin1Char('\n')), usageLine);
    writeText(stdout, text);
    return EXIT_OK;
}

int CommandLine::Fail(const QString& command, int exitCode, const QString& message)
{
    std::fflush(stdout); // what was printed before the error stays before it
    const QString prefix =
        command.isEmpty() ? QStringLiteral("morsetool") : QStringLiteral("morsetool ") + command;
    writeText(stderr, QStringLiteral("%1: %2\n").arg(prefix, message));
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

int CommandLine::RejectOptions(const QCommandLineParser& parser, const QString& command,
                               const QStringList& options, const QString& what)
{
    for (const QString& option : options) {
        if (parser.isSet(option))
            return Fail(command, EXIT_BAD_INPUT,
                        QStringLiteral("--%1 does not apply to %2").arg(option, what));
    }
    return CONTINUE;
}

int CommandLine::RejectArguments(const QCommandLineParser& parser, const QString& command)
{
    if (parser.positionalArguments().isEmpty())
        return CONTINUE;
    return Fail(command, EXIT_BAD_INPUT,
                QStringLiteral("unexpected argument \"%1\"")
                    .arg(Shown(parser.positionalArguments().first().toUtf8(), 40)));
}

bool CommandLine::ReadText(const QStringList& words, QString& text, QString& error)
{
    if (!words.isEmpty() && words != QStringList(QStringLiteral("-"))) {
        text = words.join(QLatin1Char(' '));
        return true;
    }
    const std::unique_ptr<QIODevice> input = OpenInput(QStringLiteral("-"), error);
    const QByteArray bytes = input ? input->readAll() : QByteArray();
    if (!input)
        return false;
    text = QString::fromUtf8(bytes.constData(), bytes.size()); // NUL bytes included
    if (text.toUtf8() != bytes) {
        error = QStringLiteral("standard input is not UTF-8 text");
        return false;
    }
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1); // the line feed that ends a file is not a line of its own
    return true;
}

std::unique_ptr<QIODevice> CommandLine::OpenInput(const QString& path, QString& error)
{
    if (path == QLatin1String("-")) {
        auto input = std::make_unique<DescriptorDevice>(STDIN_FILENO);
        input->open(QIODevice::ReadOnly);
        return input;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        error = CannotOpen(path, file->errorString());
        return nullptr;
    }
    return file;
}

QString CommandLine::InputName(const QString& path)
{
    return path == QLatin1String("-") ? QStringLiteral("standard input") : path;
}

QString CommandLine::CannotOpen(const QString& path, const QString& reason)
{
    return QStringLiteral("cannot open \"%1\": %2").arg(path, reason);
}

QString CommandLine::Shown(const QByteArray& bytes, int limit)
{
    QString text;
    for (const char c : bytes.left(limit)) {
        if (c >= 0x20 && c < 0x7f && c != '\\')
            text += QChar::fromLatin1(c);
        else
            text += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return bytes.size() > limit ? text + QStringLiteral("...") : text;
}

bool CommandLine::IsTerminal(FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

bool CommandLine::FinishOutput(FILE* stream, const QString& name, QString& error)
{
    errno = 0;
    const bool flushed = std::fflush(stream) == 0;
    if (flushed && !std::ferror(stream))
        return true;
    const int cause = errno;
    error = QStringLiteral("cannot write %1").arg(name);
    if (cause != 0)
        error += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(cause));
    return false;
}
