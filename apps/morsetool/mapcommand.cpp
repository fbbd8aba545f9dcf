// morsetool map: drives a MappingDirectory the way an application does. The decoder's text
// arrives line by line on standard input and is published on the data input value; each
// translated line is read back from the data output value.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "modulescatalogue.h"
#include "utf8chunker.h"

#include "host/values.h"
#include "shared/source/decodermoduelscenter.h"
#include "tools/morsehandler/mappingdirectory.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <vector>

namespace {

const QString DECODER_PATH = QStringLiteral("/Mapping/Decoder");
const QString MAPS_PATH = QStringLiteral("/Mapping/AvailableMaps");
const QString INPUT_PATH = QStringLiteral("/Mapping/DataInput");
const QString OUTPUT_PATH = QStringLiteral("/Mapping/DataOutput");
const QString MAX_CHARS_PATH = QStringLiteral("/Mapping/MaxNumberOfChars");
const QString DEFAULT_MAP = QStringLiteral("Default");

struct MapOptions
{
    QCommandLineOption maps{QStringLiteral("maps"),
                            QStringLiteral("Directory of .codec, .ita2.map and .ascii.map files "
                                           "(default: the bundled codecs)."),
                            QStringLiteral("DIR")};
    QCommandLineOption decoder{QStringLiteral("decoder"),
                               QStringLiteral("Decoder module whose text is translated, as the "
                                              "decoder modules catalogue names it."),
                               QStringLiteral("NAME")};
    QCommandLineOption map{QStringLiteral("map"),
                           QStringLiteral("Full name of the map, such as 'Cyrillic - ITA2' "
                                          "(default: Default, which leaves text unchanged)."),
                           QStringLiteral("FULLNAME")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("Print the maps offered for the decoder and stop.")};
    QCommandLineOption history{QStringLiteral("history"),
                               QStringLiteral("At the end, print the history (the newest 10000 "
                                              "characters of input) through the map.")};
};

void printLine(FILE* out, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    std::fputc('\n', out);
}

int fail(int exitCode, const QString& message)
{
    return CommandLine::Fail(QStringLiteral("map"), exitCode, message);
}

/// Publishes @p text on the data input as a decoder does: a repeat is announced again.
void publish(values::Value<QString>* input, const QString& text)
{
    if (input->GetValue() == text)
        input->HasChanged(CHANGE_VALUE, nullptr);
    else
        input->SetValue(text, nullptr);
}

/// Publishes each line of @p in on @p input and prints what @p output then holds, a line for a
/// line. A line longer than a piece goes in pieces, printed one after the other, so that memory
/// stays bounded whatever the input; the map translates character by character, so the text
/// is the same.
void translateLines(QIODevice& in, values::Value<QString>* input, values::Value<QString>* output)
{
    constexpr qint64 PIECE_BYTES = 1 << 16;
    Utf8Chunker chunker;
    QByteArray carried; // a CR at a piece's end, which may belong to a CR LF line end
    for (;;) {
        QByteArray piece = carried + in.readLine(PIECE_BYTES);
        carried.clear();
        if (piece.isEmpty())
            break;
        const bool lineEnds = piece.endsWith('\n') || in.atEnd();
        if (piece.endsWith('\n'))
            piece.chop(1);
        if (piece.endsWith('\r')) {
            piece.chop(1);
            if (!lineEnds)
                carried = "\r";
        }
        QString text = chunker.take(piece);
        if (lineEnds)
            text += chunker.flush();
        if (text.isEmpty() && !lineEnds)
            continue;
        publish(input, text);
        const QByteArray bytes = output->GetValue().toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        if (lineEnds)
            std::fputc('\n', stdout);
    }
}

/// The map directory given or bundled and the decoder modules file; CONTINUE when both are
/// there, else the exit code after the message.
int findFiles(const QCommandLineParser& parser, const MapOptions& options, QString& mapsDirectory,
              QString& modulesFile)
{
    mapsDirectory =
        parser.isSet(options.maps) ? parser.value(options.maps) : DataPaths::CodecsDirectory();
    if (mapsDirectory.isEmpty())
        return fail(EXIT_BAD_INPUT, QStringLiteral("no bundled codecs folder was found; give "
                                                   "--maps DIR"));
    if (!QFileInfo(mapsDirectory).isDir())
        return fail(EXIT_BAD_INPUT,
                    CommandLine::CannotOpen(mapsDirectory, QStringLiteral("no such directory")));
    modulesFile = ModulesCatalogue::ConfiguredFile();
    if (modulesFile.isEmpty())
        return fail(EXIT_BAD_INPUT, QStringLiteral("no decoder modules file is configured or "
                                                   "bundled"));
    if (!QFileInfo(modulesFile).isFile())
        return fail(EXIT_BAD_INPUT,
                    CommandLine::CannotOpen(modulesFile, QStringLiteral("no such file")));
    return CommandLine::CONTINUE;
}

/// Offers the catalogue's decoders on @p decoder and selects @p decoderName; false after the
/// message when the catalogue (@p modulesFile) has no such decoder.
bool selectDecoder(values::ValueSelection* decoder, const QString& decoderName,
                   const QString& modulesFile)
{
    std::vector<LanternIT::DecoderModule> modules;
    LanternIT::DecoderModulesCenter::Instance(QString())->Modules(modules, false);
    QStringList decoderNames;
    for (const LanternIT::DecoderModule& module : modules) {
        decoder->AddItem(module.strName, decoderNames.size(), decoderNames.size(), nullptr);
        decoderNames << module.strName;
    }
    if (decoder->Select(decoderName, nullptr))
        return true;
    fail(EXIT_BAD_INPUT,
         QStringLiteral("unknown decoder \"%1\" (not in %2, which holds: %3)")
             .arg(decoderName, modulesFile, decoderNames.join(QStringLiteral(", "))));
    return false;
}

} // namespace

int runMapCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Translates decoder text, read from standard input one line at a time, through a "
        "charset map and prints one translated line per input line."));
    const MapOptions options;
    parser.addOptions({options.maps, options.decoder, options.map, options.list, options.history});

    const int parsed = CommandLine::Parse(
        parser, QStringLiteral("map"), arguments,
        QStringLiteral("--decoder NAME [--maps DIR] [--map FULLNAME] [--list] [--history]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const int rejected = CommandLine::RejectArguments(parser, QStringLiteral("map"));
    if (rejected != CommandLine::CONTINUE)
        return rejected;
    if (!parser.isSet(options.decoder))
        return fail(EXIT_BAD_INPUT, QStringLiteral("--decoder NAME is required"));

    QString mapsDirectory;
    QString modulesFile;
    const int found = findFiles(parser, options, mapsDirectory, modulesFile);
    if (found != CommandLine::CONTINUE)
        return found;
    LanternIT::DecoderModulesCenter::Instance(modulesFile);

    // The values an application keeps for one decoder window.
    values::Tree* tree = values::Tree::Instance();
    auto* decoder = tree->FindOrInsert<values::ValueSelection>(DECODER_PATH);
    auto* maps = tree->FindOrInsert<values::ValueSelection>(MAPS_PATH);
    auto* input = tree->FindOrInsert<values::Value<QString>>(INPUT_PATH);
    auto* output = tree->FindOrInsert<values::Value<QString>>(OUTPUT_PATH);
    if (!decoder || !maps || !input || !output)
        return fail(EXIT_FAILURE_RUNNING, QStringLiteral("the value tree cannot be built"));

    MappingDirectory directory(mapsDirectory);
    const QString decoderName = parser.value(options.decoder);
    if (!selectDecoder(decoder, decoderName, modulesFile))
        return EXIT_BAD_INPUT;

    directory.SetDecoder_ValuePath(DECODER_PATH);
    directory.SetAvailableMaps_ValuePath(MAPS_PATH);
    directory.SetDataInput_ValuePath(INPUT_PATH, nullptr);
    directory.SetDataOutput_ValuePath(OUTPUT_PATH);
    directory.SetMaxNumberOfChars_ValuePath(MAX_CHARS_PATH);
    const QString wantedMap = parser.isSet(options.map) ? parser.value(options.map) : DEFAULT_MAP;
    directory.Init(wantedMap);
    directory.Enabled(true);
    // Enabled after Init, as an application does: the user's choice in the list switches the map.
    const QString selectedMap = maps->GetStringValue();
    maps->Select(selectedMap, nullptr);

    if (parser.isSet(options.list)) {
        for (const values::ValueSelection::Item& item : maps->GetItems())
            printLine(stdout, item.name);
        return EXIT_OK;
    }
    if (selectedMap == DEFAULT_MAP && !wantedMap.startsWith(DEFAULT_MAP))
        return fail(EXIT_BAD_INPUT, QStringLiteral("map '%1' is not offered for decoder '%2' "
                                                   "(--list shows the maps offered)")
                                        .arg(wantedMap, decoderName));
    if (selectedMap != wantedMap && !wantedMap.startsWith(DEFAULT_MAP))
        std::fprintf(stderr, "morsetool map: using '%s' for decoder '%s'\n",
                     qPrintable(selectedMap), qPrintable(decoderName));

    QString error;
    const std::unique_ptr<QIODevice> in = CommandLine::OpenInput(QStringLiteral("-"), error);
    if (!in)
        return fail(EXIT_BAD_INPUT, error);
    translateLines(*in, input, output);
    if (parser.isSet(options.history))
        printLine(stdout, directory.TranslateHistory());

    return EXIT_OK;
}
