// morsetool decode --mode rtty and synth --mode rtty: FSK teleprinter recordings.

#include "rttycommands.h"

#include "commandline.h"
#include "commands.h"
#include "rttytranslator.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/fskdemodulator/fskdemodulator.h"
#include "tools/fskdemodulator/fsksynthesizer.h"

#include <QCommandLineParser>
#include <QIODevice>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qint64 BLOCK_SAMPLES = 8192;
const QString DECODE = QStringLiteral("decode --mode rtty");
const QString SYNTH = QStringLiteral("synth --mode rtty");

/// The decoder of the catalogue whose text a recording of @p dBaud stands for.
QString decoderFor(double dBaud)
{
    if (dBaud < 47.0)
        return QStringLiteral("RTTY 45");
    return dBaud < 62.0 ? QStringLiteral("RTTY 50") : QStringLiteral("RTTY 75");
}

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + QString(c);
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

void writeUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

/// Prints what the demodulator decided: the text, or one JSON object per character.
class Printer
{
public:
    Printer(RttyTranslator& translator, bool bJson, double dSampleRate)
        : m_translator(translator), m_bJson(bJson), m_dSampleRate(dSampleRate)
    {
    }

    void print(const fsk::FskDemodulator::Character& character)
    {
        if (character.cText == 0)
            return;
        const QString text = m_translator.Translate(QString(QChar::fromLatin1(character.cText)));
        if (!m_bJson) {
            // A teleprinter's carriage return has no place in a text file: the line feed
            // starts the new line.
            if (character.cText != '\r')
                writeUtf8(text);
            return;
        }
        writeUtf8(
            QStringLiteral("{\"type\":\"character\",\"time\":%1,\"code\":%2,\"text\":%3,"
                           "\"framing_error\":%4}\n")
                .arg(double(character.nSample) / m_dSampleRate, 0, 'f', 3)
                .arg(character.nCode)
                .arg(jsonString(text))
                .arg(character.bFramingError ? QStringLiteral("true") : QStringLiteral("false")));
    }

    void summary(const fsk::FskDemodulator& demodulator)
    {
        if (!m_bJson) {
            std::fputc('\n', stdout);
            return;
        }
        const double snr = demodulator.SnrDb();
        writeUtf8(
            QStringLiteral("{\"type\":\"signal\",\"mark_hz\":%1,\"space_hz\":%2,"
                           "\"baud\":%3,\"reversed\":%4,\"snr_db\":%5}\n")
                .arg(demodulator.MarkHz(), 0, 'f', 1)
                .arg(demodulator.SpaceHz(), 0, 'f', 1)
                .arg(demodulator.Baud(), 0, 'f', 2)
                .arg(demodulator.IsReversed() ? QStringLiteral("true") : QStringLiteral("false"))
                .arg(std::isfinite(snr) ? QString::number(snr, 'f', 1) : QStringLiteral("null")));
    }

private:
    RttyTranslator& m_translator;
    bool m_bJson;
    double m_dSampleRate;
};

bool readDecodeSettings(const QCommandLineParser& parser, fsk::FskDemodulator::Settings& settings)
{
    if (!CommandLine::ReadNumber(parser, DECODE, QStringLiteral("baud"), 20, 300, settings.dBaud) ||
        !CommandLine::ReadNumber(parser, DECODE, QStringLiteral("shift"), 50, 1500,
                                 settings.dShiftHz) ||
        !CommandLine::ReadNumber(parser, DECODE, QStringLiteral("mark"), 100, 10000,
                                 settings.dMarkHz) ||
        !CommandLine::ReadNumber(parser, DECODE, QStringLiteral("space"), 100, 10000,
                                 settings.dSpaceHz))
        return false;
    if (parser.isSet(QStringLiteral("reverse")))
        settings.polarity = fsk::FskDemodulator::eREVERSED;
    settings.text.bUnshiftOnSpace = !parser.isSet(QStringLiteral("no-unshift-on-space"));
    if (parser.isSet(QStringLiteral("us-tty")))
        settings.text.figures = fsk::Ita2Alphabet::eUS_TTY;
    return true;
}

} // namespace

namespace {

QString takeMode(QStringList& arguments)
{
    QString mode = QStringLiteral("cw");
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--mode") && i + 1 < arguments.size()) {
            mode = arguments.at(i + 1);
            arguments.erase(arguments.begin() + i, arguments.begin() + i + 2);
            break;
        }
        if (arguments.at(i).startsWith(QLatin1String("--mode="))) {
            mode = arguments.at(i).mid(7);
            arguments.removeAt(i);
            break;
        }
    }
    return mode;
}

} // namespace

std::function<int(const QStringList&)> WithModes(const char* command, int (*cw)(const QStringList&),
                                                 int (*rtty)(const QStringList&))
{
    return [command, cw, rtty](const QStringList& givenArguments) {
        QStringList arguments = givenArguments;
        const QString mode = takeMode(arguments);
        if (mode == QLatin1String("cw"))
            return cw(arguments);
        if (mode == QLatin1String("rtty"))
            return rtty(arguments);
        return CommandLine::Fail(QString::fromLatin1(command), EXIT_BAD_INPUT,
                                 QStringLiteral("--mode is cw or rtty, not \"%1\"").arg(mode));
    };
}

int runRttyDecodeCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Decodes an FSK teleprinter (RTTY) recording to the text a live teleprinter decoder "
        "publishes, optionally translated through a codec or a charset map. Tones, speed "
        "(45.45, 50, 75 or 100 baud) and polarity are found from the signal unless given."));
    parser.addPositionalArgument(QStringLiteral("input"),
                                 QStringLiteral("Recording, or - for raw 16-bit samples on "
                                                "standard input (see --rate)."),
                                 QStringLiteral("FILE|-"));
    parser.addOptions({
        {QStringLiteral("baud"), QStringLiteral("speed in baud"), QStringLiteral("B")},
        {QStringLiteral("shift"), QStringLiteral("distance of the two tones in Hz"),
         QStringLiteral("HZ")},
        {QStringLiteral("mark"), QStringLiteral("mark tone in Hz"), QStringLiteral("HZ")},
        {QStringLiteral("space"), QStringLiteral("space tone in Hz"), QStringLiteral("HZ")},
        {QStringLiteral("reverse"), QStringLiteral("mark is the lower tone")},
        {QStringLiteral("no-unshift-on-space"),
         QStringLiteral("stay in the figures case after a space (by default a space returns "
                        "to the letters case)")},
        {QStringLiteral("us-tty"), QStringLiteral("figures case of the US teleprinter code")},
        {QStringLiteral("codec"), QStringLiteral("translate through this codec"),
         QStringLiteral("NAME")},
        {QStringLiteral("map"),
         QStringLiteral("translate through this charset map, bound on a value tree"),
         QStringLiteral("NAME")},
        {QStringLiteral("decoder"),
         QStringLiteral("decoder module the text is from (default: RTTY 45, 50 or 75 after "
                        "the speed)"),
         QStringLiteral("NAME")},
        {QStringLiteral("format"), QStringLiteral("text (default) or jsonl"),
         QStringLiteral("FORMAT")},
        {QStringLiteral("rate"), QStringLiteral("sample rate of standard input (default 8000)"),
         QStringLiteral("HZ")},
    });
    const int parsed =
        CommandLine::Parse(parser, DECODE, arguments, QStringLiteral("[options] FILE|-"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, QStringLiteral("expected one input"));
    const QString format = parser.value(QStringLiteral("format"));
    if (!format.isEmpty() && format != QLatin1String("text") && format != QLatin1String("jsonl"))
        return CommandLine::Fail(
            DECODE, EXIT_BAD_INPUT,
            QStringLiteral("--format is text or jsonl, not \"%1\"").arg(format));
    if (parser.isSet(QStringLiteral("codec")) && parser.isSet(QStringLiteral("map")))
        return CommandLine::Fail(DECODE, EXIT_BAD_INPUT,
                                 QStringLiteral("give --codec or --map, not both"));

    fsk::FskDemodulator::Settings settings;
    double rate = 8000.0;
    if (!readDecodeSettings(parser, settings) ||
        !CommandLine::ReadNumber(parser, DECODE, QStringLiteral("rate"), 4000, 192000, rate))
        return EXIT_BAD_INPUT;

    cw::AudioFileReader reader;
    const QString input = positional.first();
    // Standard input: a recording recognised by its content, or raw 16-bit samples at --rate.
    std::unique_ptr<QIODevice> standardInput;
    bool opened = false;
    if (input == QLatin1String("-")) {
        QString error;
        standardInput = CommandLine::OpenInput(input, error);
        const QString name = CommandLine::InputName(input);
        opened = parser.isSet(QStringLiteral("rate"))
                     ? reader.OpenRawStream(standardInput.get(), name, int(rate),
                                            cw::AudioFileReader::RawFormat::Signed16)
                     : reader.OpenStream(standardInput.get(), name);
    } else {
        opened = reader.Open(input);
    }
    if (!opened)
        return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, reader.ErrorString());
    settings.dSampleRate = reader.SampleRate();

    fsk::FskDemodulator demodulator(settings);
    RttyTranslator translator;
    Printer printer(translator, format == QLatin1String("jsonl"), settings.dSampleRate);
    std::vector<float> block(BLOCK_SAMPLES);
    fsk::FskDemodulator::Character character;
    bool translating = false;
    auto drain = [&]() -> int {
        while (demodulator.TakeCharacter(character)) {
            if (!translating) {
                // The translation waits for the speed, which names the decoder.
                QString error;
                const QString decoder = parser.isSet(QStringLiteral("decoder"))
                                            ? parser.value(QStringLiteral("decoder"))
                                            : decoderFor(demodulator.Baud());
                if ((parser.isSet(QStringLiteral("codec")) &&
                     !translator.UseCodec(decoder, parser.value(QStringLiteral("codec")), error)) ||
                    (parser.isSet(QStringLiteral("map")) &&
                     !translator.UseMap(decoder, parser.value(QStringLiteral("map")), error)))
                    return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, error);
                translating = true;
            }
            printer.print(character);
        }
        std::fflush(stdout);
        return EXIT_OK;
    };
    for (;;) {
        const qint64 count = reader.Read(block.data(), BLOCK_SAMPLES);
        if (count < 0)
            return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, reader.ErrorString());
        if (count == 0)
            break;
        demodulator.Push(block.data(), size_t(count));
        if (drain() != EXIT_OK)
            return EXIT_BAD_INPUT;
    }
    demodulator.Finish();
    if (drain() != EXIT_OK)
        return EXIT_BAD_INPUT;
    printer.summary(demodulator);
    std::fflush(stdout);
    if (!reader.Shortfall().isEmpty())
        return CommandLine::Fail(
            DECODE, EXIT_FAILURE_RUNNING,
            QStringLiteral("%1: decoded what is there, but %2").arg(input, reader.Shortfall()));
    if (!demodulator.HasSignal())
        return CommandLine::Fail(DECODE, EXIT_FAILURE_RUNNING,
                                 QStringLiteral("no teleprinter signal found in %1").arg(input));
    return EXIT_OK;
}

int runRttySynthCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Synthesize an FSK teleprinter (RTTY) recording of TEXT, optionally with white noise "
        "(SNR in a 2500 Hz bandwidth), drift, selective fading and a neighbouring signal."));
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("the text to send"));
    parser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("recording to write (.wav, .flac or .ogg); never replaced"),
         QStringLiteral("FILE")},
        {QStringLiteral("baud"), QStringLiteral("speed (default 45.45)"), QStringLiteral("B")},
        {QStringLiteral("mark"), QStringLiteral("mark tone in Hz (default 1585)"),
         QStringLiteral("HZ")},
        {QStringLiteral("shift"), QStringLiteral("shift in Hz (default 170)"),
         QStringLiteral("HZ")},
        {QStringLiteral("reverse"), QStringLiteral("mark is the lower tone")},
        {QStringLiteral("stop-bits"), QStringLiteral("1, 1.5 (default) or 2"), QStringLiteral("N")},
        {QStringLiteral("snr"), QStringLiteral("add white noise: SNR in 2500 Hz, in dB"),
         QStringLiteral("DB")},
        {QStringLiteral("drift"), QStringLiteral("frequency drift in Hz per second"),
         QStringLiteral("HZ")},
        {QStringLiteral("fade"), QStringLiteral("selective fading at this rate (20 dB deep)"),
         QStringLiteral("HZ")},
        {QStringLiteral("neighbour"),
         QStringLiteral("a neighbouring signal this far away in Hz, 6 dB weaker"),
         QStringLiteral("HZ")},
        {QStringLiteral("us-tty"), QStringLiteral("figures case of the US teleprinter code")},
        {QStringLiteral("rate"), QStringLiteral("sample rate (default 8000)"),
         QStringLiteral("HZ")},
        {QStringLiteral("seed"), QStringLiteral("seed of the noise (default 1)"),
         QStringLiteral("N")},
    });
    const int parsed =
        CommandLine::Parse(parser, SYNTH, arguments, QStringLiteral("[options] TEXT -o FILE"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !parser.isSet(QStringLiteral("output")))
        return CommandLine::Fail(SYNTH, EXIT_BAD_INPUT,
                                 QStringLiteral("expected one TEXT and -o FILE (see --help)"));

    fsk::FskSynthesizer::Settings settings;
    double rate = settings.nSampleRate;
    double seed = settings.uSeed;
    settings.bNoise = parser.isSet(QStringLiteral("snr"));
    settings.bReversed = parser.isSet(QStringLiteral("reverse"));
    if (parser.isSet(QStringLiteral("us-tty")))
        settings.figures = fsk::Ita2Alphabet::eUS_TTY;
    if (!CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("baud"), 20, 300, settings.dBaud) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("mark"), 100, 10000,
                                 settings.dMarkHz) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("shift"), 50, 1500,
                                 settings.dShiftHz) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("stop-bits"), 1, 2,
                                 settings.dStopBits) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("snr"), -60, 100, settings.dSnrDb) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("drift"), -10, 10,
                                 settings.dDriftHzPerSec) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("fade"), 0, 10, settings.dFadeHz) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("neighbour"), -3000, 3000,
                                 settings.dNeighbourOffsetHz) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("rate"), 4000, 192000, rate) ||
        !CommandLine::ReadNumber(parser, SYNTH, QStringLiteral("seed"), 0, 4294967295.0, seed))
        return EXIT_BAD_INPUT;
    settings.nSampleRate = int(rate);
    settings.uSeed = quint32(seed);
    const double highest =
        settings.dMarkHz + settings.dShiftHz + std::abs(settings.dNeighbourOffsetHz);
    if (highest >= rate / 2.0 || settings.dMarkHz - settings.dShiftHz <= 0.0)
        return CommandLine::Fail(SYNTH, EXIT_BAD_INPUT,
                                 QStringLiteral("the tones must lie between 0 and half the "
                                                "sample rate"));

    fsk::FskSynthesizer synthesizer(settings);
    if (!synthesizer.SetText(positional.first().toStdString()))
        return CommandLine::Fail(SYNTH, EXIT_BAD_INPUT,
                                 QString::fromStdString(synthesizer.ErrorString()));
    const QString output = parser.value(QStringLiteral("output"));
    if (!cw::AudioFileWriter::IsSupportedName(output))
        return CommandLine::Fail(
            SYNTH, EXIT_BAD_INPUT,
            QStringLiteral("%1: the name must end in .wav, .flac or .ogg").arg(output));
    cw::AudioFileWriter writer;
    if (!writer.Open(output, settings.nSampleRate))
        return CommandLine::Fail(SYNTH, EXIT_FAILURE_RUNNING, writer.ErrorString());
    std::vector<float> block(BLOCK_SAMPLES);
    for (;;) {
        const qint64 count = synthesizer.Render(block.data(), BLOCK_SAMPLES);
        if (count == 0)
            break;
        if (!writer.Write(block.data(), count))
            return CommandLine::Fail(SYNTH, EXIT_FAILURE_RUNNING, writer.ErrorString());
    }
    if (!writer.Commit())
        return CommandLine::Fail(SYNTH, EXIT_FAILURE_RUNNING, writer.ErrorString());
    std::fprintf(stderr, "morsetool synth: wrote %s (%.1f s at %d Hz)\n", qPrintable(output),
                 double(synthesizer.TotalSamples()) / settings.nSampleRate, settings.nSampleRate);
    return EXIT_OK;
}
