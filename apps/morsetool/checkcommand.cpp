// morsetool check FILE...: reads alphabet, codec, map and decoder modules files exactly as the
// library does and prints every line that was skipped or taken in an unusual way.

#include "commandline.h"
#include "commands.h"

#include "shared/source/decodermodulesfileparser.h"
#include "tools/morsehandler/alphabetfilereader.h"
#include "tools/morsehandler/codecfilereader.h"
#include "tools/morsehandler/mapfilereader.h"

#include <QCommandLineParser>
#include <QFile>

#include <cstdio>

namespace {

/// Reads @p file with the reader its name calls for and returns what that reader found.
morse::ReadFindings findingsOf(QFile& file)
{
    morse::ReadFindings findings;
    const QString name = file.fileName().toLower();
    QMap<char, ushort> table;
    bool rightToLeft = false;
    if (name.endsWith(QLatin1String(".mal"))) {
        QMap<QString, QString> map;
        morse::AlphabetFileReader::Read(file, map, rightToLeft, &findings);
    } else if (name.endsWith(QLatin1String(".codec"))) {
        morse::CodecFileReader::Read(file, table, rightToLeft, &findings);
    } else if (name.endsWith(QLatin1String(".map"))) {
        morse::MapFileReader::Read(file, table, rightToLeft, &findings);
    } else {
        std::vector<LanternIT::DecoderModule> modules;
        LanternIT::DecoderModulesFileParser::Read(file, modules, &findings);
    }
    return findings;
}

void printFindings(const QString& path, const morse::ReadFindings& findings)
{
    for (const morse::ReadFinding& finding : findings) {
        const QByteArray line =
            QStringLiteral("%1:%2: %3\n").arg(path).arg(finding.line).arg(finding.reason).toUtf8();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    }
}

} // namespace

int runCheckCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reads each FILE as the library does - .mal as an alphabet, .codec as a codec, .map as a "
        "charset map, anything else as a decoder modules file - and prints \"FILE:LINE: "
        "reason\" for every line skipped or taken in an unusual way.\nExit code: 0 when no file "
        "has findings, 1 when one has, 2 when a file cannot be read."));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Files to check."),
                                 QStringLiteral("FILE..."));
    const int parsed =
        CommandLine::Parse(parser, QStringLiteral("check"), arguments, QStringLiteral("FILE..."));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return CommandLine::Fail(QStringLiteral("check"), EXIT_BAD_INPUT,
                                 QStringLiteral("expected at least one FILE"));
    int exitCode = EXIT_OK;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            CommandLine::Fail(QStringLiteral("check"), EXIT_BAD_INPUT,
                              CommandLine::CannotOpen(path, file.errorString()));
            exitCode = EXIT_BAD_INPUT;
            continue;
        }
        const morse::ReadFindings findings = findingsOf(file);
        printFindings(path, findings);
        if (!findings.isEmpty() && exitCode == EXIT_OK)
            exitCode = EXIT_FAILURE_RUNNING;
    }
    return exitCode;
}
