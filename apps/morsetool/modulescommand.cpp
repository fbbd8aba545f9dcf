// morsetool modules: lists the decoder modules catalogue, or the modules of a modulation mode.

#include "commandline.h"
#include "commands.h"
#include "modulescatalogue.h"

#include "shared/source/decodermoduelscenter.h"

#include <QCommandLineParser>

#include <cstdio>
#include <vector>

namespace {

using LanternIT::DecoderModule;

QString letter(char c)
{
    return c ? QString(QLatin1Char(c)) : QStringLiteral("-");
}

QByteArray table(const std::vector<DecoderModule>& modules)
{
    int nameWidth = 4;
    for (const DecoderModule& module : modules)
        nameWidth = qMax(nameWidth, module.strName.size());
    QString text = QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                       .arg(QStringLiteral("number"), 6)
                       .arg(QStringLiteral("value"), 7)
                       .arg(QStringLiteral("kind"))
                       .arg(QStringLiteral("charset"))
                       .arg(QStringLiteral("name"), -nameWidth)
                       .arg(QStringLiteral("modes"));
    for (const DecoderModule& module : modules) {
        QStringList modes;
        for (int m = 0; m < DecoderModule::MODE_COUNT; ++m) {
            const DecoderModule::ModeFlag& mode = DecoderModule::ModeFlags()[m];
            if (module.*mode.flag)
                modes << QLatin1String(mode.name);
        }
        text += QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                    .arg(module.nModuleNumber, 6)
                    .arg(module.dSecondNumber, 7, 'g', 6)
                    .arg(letter(module.cKind), 4)
                    .arg(letter(module.cCharset), 7)
                    .arg(module.strName, -nameWidth)
                    .arg(modes.join(QStringLiteral(", ")));
    }
    return text.toUtf8();
}

int fail(int exitCode, const QString& message)
{
    return CommandLine::Fail(QStringLiteral("modules"), exitCode, message);
}

} // namespace

int runModulesCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the decoder modules catalogue. With --mode, lists the names of the modules of "
        "that mode, one per line: a single mode (MORSE, FAX, PSK31, ...) or, with --submode, a "
        "mode family and member (FSK with FSK2, FSK4 or MSK; PSK with PSK2, PSK4 or PSK8; "
        "McPSK with McPSK2 or McPSK4; PSK31 with any)."));
    const QCommandLineOption mode(QStringLiteral("mode"), QStringLiteral("Modulation mode."),
                                  QStringLiteral("MODE"));
    const QCommandLineOption subMode(QStringLiteral("submode"),
                                     QStringLiteral("Member of the mode family given by --mode."),
                                     QStringLiteral("SUB"));
    parser.addOptions({mode, subMode});
    const int parsed = CommandLine::Parse(parser, QStringLiteral("modules"), arguments);
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const int rejected = CommandLine::RejectArguments(parser, QStringLiteral("modules"));
    if (rejected != CommandLine::CONTINUE)
        return rejected;
    if (parser.isSet(subMode) && !parser.isSet(mode))
        return fail(EXIT_BAD_INPUT, QStringLiteral("--submode needs --mode"));

    QString path;
    LanternIT::DecoderModulesCenter* catalogue = ModulesCatalogue::Open(&path);
    if (!catalogue->Load())
        return fail(EXIT_FAILURE_RUNNING,
                    CommandLine::CannotOpen(path, QStringLiteral("not a readable decoder modules "
                                                                 "file")));

    QByteArray text;
    if (!parser.isSet(mode)) {
        std::vector<DecoderModule> modules;
        catalogue->Modules(modules, false);
        text = table(modules);
    } else {
        QString names;
        if (parser.isSet(subMode))
            catalogue->NamesForMode(parser.value(mode), parser.value(subMode), names, false);
        else
            catalogue->NamesForMode(parser.value(mode), names, false);
        if (names.isEmpty())
            return fail(EXIT_BAD_INPUT,
                        QStringLiteral("unknown mode \"%1%2%3\": no module of it in %4")
                            .arg(parser.value(mode), parser.isSet(subMode) ? "/" : "",
                                 parser.value(subMode), path));
        text = names.replace(QLatin1Char(';'), QLatin1Char('\n')).toUtf8() + '\n';
    }
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return EXIT_OK;
}
