// morsetool codec: translates decoder codes read from stdin through a codec; morsetool codecs:
// lists the codecs offered for a decoder.

#include "commandline.h"
#include "commands.h"
#include "datapaths.h"
#include "modulescatalogue.h"
#include "utf8chunker.h"

#include "tools/morsehandler/alphabetnames.h"
#include "tools/morsehandler/codechandler.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

struct CodecOptions
{
    QCommandLineOption decoder{QStringLiteral("decoder"),
                               QStringLiteral("Decoder whose output is translated (a name from "
                                              "'morsetool modules'; 'All' lists every codec)."),
                               QStringLiteral("NAME")};
    QCommandLineOption codec{QStringLiteral("codec"),
                             QStringLiteral("Codec: 'Base - ITA2', 'Base - ASCII', or a bare base "
                                            "name that takes the decoder's charset."),
                             QStringLiteral("NAME")};
    QCommandLineOption back{QStringLiteral("back"),
                            QStringLiteral("Translate display text (UTF-8) back to decoder codes "
                                           "(bytes).")};
    QCommandLineOption codecs{QStringLiteral("codecs"),
                              QStringLiteral("Directory of codec files (default: the bundled "
                                             "codecs)."),
                              QStringLiteral("DIR")};
};

/// Parses @p arguments; false (with the exit code in @p exitCode) when the command should stop.
bool parse(QCommandLineParser& parser, const QString& command, const QStringList& arguments,
           int& exitCode)
{
    exitCode = CommandLine::Parse(parser, command, arguments);
    if (exitCode != CommandLine::CONTINUE)
        return false;
    exitCode = CommandLine::RejectArguments(parser, command);
    return exitCode == CommandLine::CONTINUE;
}

/// The codec directory given or bundled; empty (after a message) when it does not exist.
QString codecsDirectory(const QCommandLineParser& parser, const QCommandLineOption& option,
                        const char* command)
{
    const QString dir = parser.isSet(option) ? parser.value(option) : DataPaths::CodecsDirectory();
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        CommandLine::Fail(QString::fromLatin1(command), EXIT_BAD_INPUT,
                          CommandLine::CannotOpen(dir, QStringLiteral("no such directory")));
        return QString();
    }
    return dir;
}

/// A codec handler on the catalogue and the codec directory @p dir, serving @p decoder.
CodecHandler openHandler(const QString& dir, const QString& decoder, QString* cataloguePath)
{
    ModulesCatalogue::Open(cataloguePath);
    CodecHandler handler;
    handler.SetAlphabetsDir(dir);
    handler.SetDecoder(decoder);
    return handler;
}

/// False, after the message, when @p decoder is given and the catalogue does not name it.
bool knownDecoder(const QString& decoder, const char* command)
{
    if (decoder.isEmpty() || decoder.compare(QLatin1String("All"), Qt::CaseInsensitive) == 0 ||
        ModulesCatalogue::HasDecoder(decoder))
        return true;
    QString path;
    ModulesCatalogue::Open(&path);
    CommandLine::Fail(QString::fromLatin1(command), EXIT_BAD_INPUT,
                      QStringLiteral("unknown decoder \"%1\" (not in %2; see 'morsetool "
                                     "modules')")
                          .arg(decoder, path));
    return false;
}

/// The size of the pieces in which input is read and translated: memory stays bounded
/// whatever the input's length.
constexpr qint64 PIECE_BYTES = 1 << 16;

void write(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

/// Decoder codes (one per byte) on @p in to UTF-8 text on standard output.
int translateForward(QIODevice& in, CodecHandler& handler)
{
    for (QByteArray piece; !(piece = in.read(PIECE_BYTES)).isEmpty();) {
        // With an explicit size: raw codes may contain NUL bytes, which must not end the text.
        write(handler.Translate(QString::fromLatin1(piece.constData(), piece.size())).toUtf8());
    }
    return EXIT_OK;
}

/// UTF-8 text on @p in back to decoder codes on standard output. Stops at the first unit
/// without a code, or bytes that are not UTF-8, after writing what came before.
int translateBack(QIODevice& in, CodecHandler& handler)
{
    Utf8Chunker chunker;
    qint64 position = 0;
    qint64 goodBytes = 0;
    for (QByteArray piece; !(piece = in.read(PIECE_BYTES)).isEmpty();) {
        goodBytes = chunker.decodedBytes();
        const QString text = chunker.take(piece);
        if (chunker.sawInvalidBytes())
            break;
        const QString codes = handler.Backtranslate(text);
        for (int i = 0; i < codes.size(); ++i) {
            if (codes.at(i).unicode() > 0xFF) {
                write(codes.left(i).toLatin1());
                std::fflush(stdout);
                std::fprintf(stderr,
                             "morsetool codec: U+%04X at position %lld has no code in '%s'; "
                             "nothing written from there on\n",
                             codes.at(i).unicode(), static_cast<long long>(position + i),
                             qPrintable(handler.Alphabet()));
                return EXIT_FAILURE_RUNNING;
            }
        }
        write(codes.toLatin1());
        position += codes.size();
    }
    if (!chunker.sawInvalidBytes())
        goodBytes = chunker.decodedBytes();
    chunker.flush();
    if (chunker.sawInvalidBytes())
        return CommandLine::Fail(QStringLiteral("codec"), EXIT_BAD_INPUT,
                                 QStringLiteral("standard input is not UTF-8 text (from "
                                                "byte %1 at most %2 bytes on); nothing written "
                                                "from there on")
                                     .arg(goodBytes)
                                     .arg(PIECE_BYTES));
    return EXIT_OK;
}

QString describe(const QString& cataloguePath)
{
    return cataloguePath.isEmpty() ? QStringLiteral("the catalogue (no decoder modules file found)")
                                   : cataloguePath;
}

} // namespace

int runCodecCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Translates decoder output read from stdin (one code per byte) through a "
                       "codec and writes the text as UTF-8; with --back, the reverse."));
    const CodecOptions options;
    parser.addOptions({options.decoder, options.codec, options.back, options.codecs});
    int exitCode = EXIT_OK;
    if (!parse(parser, QStringLiteral("codec"), arguments, exitCode))
        return exitCode;
    if (!parser.isSet(options.codec))
        return CommandLine::Fail(QStringLiteral("codec"), EXIT_BAD_INPUT,
                                 QStringLiteral("--codec NAME is required"));
    const QString dir = codecsDirectory(parser, options.codecs, "codec");
    if (dir.isEmpty())
        return EXIT_BAD_INPUT;

    QString cataloguePath;
    const QString decoder = parser.value(options.decoder);
    if (!knownDecoder(decoder, "codec"))
        return EXIT_BAD_INPUT;
    CodecHandler handler = openHandler(dir, decoder, &cataloguePath);
    const QString codec = parser.value(options.codec);
    if (!handler.SetAlphabet(codec)) {
        CommandLine::Fail(QStringLiteral("codec"), EXIT_BAD_INPUT,
                          QStringLiteral("unknown codec \"%1\" (no codec file in \"%2\")")
                              .arg(handler.Alphabet(), dir));
        if (!codec.contains(morse::AlphabetNames::SEPARATOR) &&
            handler.CharsetForDecoder(decoder) == CodecHandler::eNONE)
            std::fprintf(stderr,
                         "  the decoder '%s' has no ITA2 or ASCII charset in %s; give the full "
                         "name, such as '%s - ITA2'\n",
                         qPrintable(decoder), qPrintable(describe(cataloguePath)),
                         qPrintable(codec));
        else
            std::fprintf(stderr, "  codecs for this decoder: %s\n",
                         qPrintable(handler.AvailableAlphabets().join(QStringLiteral(", "))));
        return EXIT_BAD_INPUT;
    }

    QString error;
    const std::unique_ptr<QIODevice> in = CommandLine::OpenInput(QStringLiteral("-"), error);
    if (!in)
        return CommandLine::Fail(QStringLiteral("codec"), EXIT_BAD_INPUT, error);
    return parser.isSet(options.back) ? translateBack(*in, handler)
                                      : translateForward(*in, handler);
}

int runCodecsCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists the codecs offered for a decoder: every base name for 'All' (the "
                       "default), else the full names that fit the decoder's charset."));
    const CodecOptions options;
    parser.addOptions({options.decoder, options.codecs});
    int exitCode = EXIT_OK;
    if (!parse(parser, QStringLiteral("codecs"), arguments, exitCode))
        return exitCode;
    const QString dir = codecsDirectory(parser, options.codecs, "codecs");
    if (dir.isEmpty())
        return EXIT_BAD_INPUT;

    QString cataloguePath;
    const QString decoder =
        parser.isSet(options.decoder) ? parser.value(options.decoder) : QStringLiteral("All");
    if (!knownDecoder(decoder, "codecs"))
        return EXIT_BAD_INPUT;
    CodecHandler handler = openHandler(dir, decoder, &cataloguePath);
    const QStringList names = handler.AvailableAlphabets();
    QByteArray text;
    for (const QString& name : names)
        text += name.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    if (decoder.compare(QLatin1String("All"), Qt::CaseInsensitive) != 0 &&
        handler.CharsetForDecoder(decoder) == CodecHandler::eNONE)
        std::fprintf(stderr, "morsetool codecs: decoder '%s' has no ITA2 or ASCII charset in %s\n",
                     qPrintable(decoder), qPrintable(describe(cataloguePath)));
    return EXIT_OK;
}
