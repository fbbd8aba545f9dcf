// morsetool decode --mode rtty and synth --mode rtty: FSK teleprinter recordings.

#include "rttycommands.h"

#include "audiosymbolsource.h"
#include "commandline.h"
#include "commands.h"
#include "rttyoutput.h"
#include "rttysession.h"
#include "rttytranslator.h"
#include "shutdownsignals.h"
#include "writerecording.h"

#include "tools/cwdemodulator/audiofilereader.h"
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/fskdemodulator/fskdemodulator.h"
#include "tools/fskdemodulator/fsksynthesizer.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
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
    settings.bRepairShifts = !parser.isSet(QStringLiteral("no-shift-repair"));
    if (parser.isSet(QStringLiteral("us-tty")))
        settings.text.figures = fsk::Ita2Alphabet::eUS_TTY;
    return true;
}

struct DecodeOptions
{
    fsk::FskDemodulator::Settings settings;
    QString input;
    double dRate = 8000.0; ///< of raw samples on standard input
    bool bJson = false;
    QString codec;
    QString map;
    QString decoder;       ///< empty: after the speed found
    QString saveDirectory; ///< empty: nothing is saved
    qint64 nReportEveryMs = 60000;
    bool bHaveStartTime = false;
    quint64 u64StartUs = 0;
    bool bQuiet = false;
};

/// The options of @p parser; false with @p error for one that cannot be used.
bool readDecodeOptions(const QCommandLineParser& parser, DecodeOptions& options, QString& error)
{
    const QStringList positional = parser.positionalArguments();
    const QString format = parser.value(QStringLiteral("format"));
    if (positional.size() != 1) {
        error = QStringLiteral("expected one input");
    } else if (!format.isEmpty() && format != QLatin1String("text") &&
               format != QLatin1String("jsonl")) {
        error = QStringLiteral("--format is text or jsonl, not \"%1\"").arg(format);
    } else if (parser.isSet(QStringLiteral("codec")) && parser.isSet(QStringLiteral("map"))) {
        error = QStringLiteral("give --codec or --map, not both");
    } else if (parser.isSet(QStringLiteral("report-every")) &&
               !parser.isSet(QStringLiteral("save"))) {
        error = QStringLiteral("--report-every does not apply without --save");
    }
    if (!error.isEmpty())
        return false;
    double reportEvery = 60.0;
    if (!readDecodeSettings(parser, options.settings) ||
        !CommandLine::ReadNumber(parser, DECODE, QStringLiteral("rate"), 4000, 192000,
                                 options.dRate) ||
        !CommandLine::ReadNumber(parser, DECODE, QStringLiteral("report-every"), 0, 1e6,
                                 reportEvery))
        return false; // already told
    options.input = positional.first();
    options.bJson = format == QLatin1String("jsonl");
    options.codec = parser.value(QStringLiteral("codec"));
    options.map = parser.value(QStringLiteral("map"));
    options.decoder = parser.value(QStringLiteral("decoder"));
    options.nReportEveryMs = qint64(reportEvery * 1000.0);
    options.bQuiet = parser.isSet(QStringLiteral("quiet"));
    if (!AudioSymbolSource::readStartTime(parser, options.bHaveStartTime, options.u64StartUs,
                                          error))
        return false;
    if (parser.isSet(QStringLiteral("save"))) {
        const QString directory = parser.value(QStringLiteral("save"));
        if (directory.isEmpty() || !QDir().mkpath(directory)) {
            error = CommandLine::CannotOpen(directory,
                                            QStringLiteral("cannot create the save directory"));
            return false;
        }
        options.saveDirectory = QDir(directory).absolutePath();
    }
    return true;
}

/// When the recording began (microseconds since 1970 UTC): standard input begins now.
quint64 recordingStartUs(const QString& input, const cw::AudioFileReader& reader)
{
    if (input == QLatin1String("-"))
        return quint64(QDateTime::currentMSecsSinceEpoch()) * 1000u;
    return AudioSymbolSource::fileStartUs(input, reader.Frames(), reader.SampleRate());
}

/// The session that saves what is decoded, when saving was asked for.
std::unique_ptr<RttySession> openSession(const DecodeOptions& options, const QString& translation)
{
    if (options.saveDirectory.isEmpty())
        return nullptr;
    RttySession::Options sessionOptions;
    sessionOptions.directory = options.saveDirectory;
    sessionOptions.translation = translation;
    sessionOptions.announceFiles = !options.bQuiet;
    return std::make_unique<RttySession>(sessionOptions, stderr);
}

/// Sets up the translation for the decoder that the speed found names (or the one given) and
/// tells @p session the signal; false after the message when the codec or map cannot be used.
bool startTranslation(const DecodeOptions& options, fsk::FskDemodulator& demodulator,
                      RttyTranslator& translator, RttySession* session)
{
    QString error;
    const QString decoder =
        options.decoder.isEmpty() ? decoderFor(demodulator.Baud()) : options.decoder;
    if ((!options.codec.isEmpty() && !translator.UseCodec(decoder, options.codec, error)) ||
        (!options.map.isEmpty() && !translator.UseMap(decoder, options.map, error))) {
        CommandLine::Fail(DECODE, EXIT_BAD_INPUT, error);
        return false;
    }
    if (session)
        session->setSignal(demodulator.Baud(),
                           std::abs(demodulator.MarkHz() - demodulator.SpaceHz()));
    return true;
}

/// @p status, or the exit code of how the reading ended, told on stderr: stopped by a signal,
/// a recording cut short, or no signal found.
int endStatus(const DecodeOptions& options, cw::AudioFileReader& reader,
              fsk::FskDemodulator& demodulator, int status)
{
    const QString name = CommandLine::InputName(options.input);
    if (ShutdownSignals::Requested()) {
        CommandLine::Fail(DECODE, EXIT_OK,
                          QStringLiteral("%1: stopped by signal %2; what was read is saved")
                              .arg(name)
                              .arg(ShutdownSignals::Signal()));
        return ShutdownSignals::ExitCode();
    }
    if (!reader.Shortfall().isEmpty())
        return CommandLine::Fail(
            DECODE, EXIT_FAILURE_RUNNING,
            QStringLiteral("%1: decoded what is there, but %2").arg(name, reader.Shortfall()));
    if (!demodulator.HasSignal())
        return CommandLine::Fail(DECODE, EXIT_FAILURE_RUNNING,
                                 QStringLiteral("no teleprinter signal found in %1").arg(name));
    return status;
}

/// Demodulates the opened recording and prints, translates and saves what it holds; the exit
/// code.
int decode(const DecodeOptions& options, cw::AudioFileReader& reader)
{
    const double rate = options.settings.dSampleRate;
    fsk::FskDemodulator demodulator(options.settings);
    RttyTranslator translator;
    const QString translation = options.codec.isEmpty() ? options.map : options.codec;
    RttyOutput::Options outputOptions;
    outputOptions.bJson = options.bJson;
    outputOptions.input = CommandLine::InputName(options.input);
    outputOptions.translation = translation;
    outputOptions.u64OriginUs = options.u64StartUs;
    RttyOutput output(stdout, outputOptions);
    const std::unique_ptr<RttySession> session = openSession(options, translation);
    QElapsedTimer sinceReport;
    sinceReport.start();
    bool translating = false;
    auto drain = [&]() -> bool {
        fsk::FskDemodulator::Character character;
        while (demodulator.TakeCharacter(character)) {
            if (!translating) {
                // The translation waits for the speed, which names the decoder.
                if (!startTranslation(options, demodulator, translator, session.get()))
                    return false;
                translating = true;
            }
            const QString decoded =
                character.cText != 0 ? QString(QChar::fromLatin1(character.cText)) : QString();
            const QString text = decoded.isEmpty() ? decoded : translator.Translate(decoded);
            const quint64 timeUs =
                options.u64StartUs + quint64(std::llround(double(character.nSample) * 1e6 / rate));
            output.character(text, character.bFramingError, timeUs, demodulator);
            if (session)
                session->save(timeUs, decoded, character.bFramingError, text);
        }
        std::fflush(stdout);
        if (session && sinceReport.elapsed() >= options.nReportEveryMs) {
            session->saveReport();
            sinceReport.restart();
        }
        return true;
    };
    std::vector<float> block(BLOCK_SAMPLES);
    while (!ShutdownSignals::Requested()) {
        const qint64 count = reader.Read(block.data(), BLOCK_SAMPLES);
        if (count < 0)
            return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, reader.ErrorString());
        if (count == 0)
            break;
        demodulator.Push(block.data(), size_t(count));
        if (!drain())
            return EXIT_BAD_INPUT;
    }
    demodulator.Finish();
    if (!drain())
        return EXIT_BAD_INPUT;
    output.finish(demodulator);

    int status = EXIT_OK;
    QString error;
    if (session && !session->finish(error))
        status = CommandLine::Fail(DECODE, EXIT_FAILURE_RUNNING, error);
    if (std::ferror(stdout))
        status = CommandLine::Fail(DECODE, EXIT_FAILURE_RUNNING,
                                   QStringLiteral("cannot write to standard output"));
    return endStatus(options, reader, demodulator, status);
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
        {QStringLiteral("no-shift-repair"),
         QStringLiteral("print a FIGS or a space broken by a doubtful bit as it came (by default "
                        "the word after it decides)")},
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
        {QStringLiteral("format"), QStringLiteral("text (default) or jsonl (one object per line)"),
         QStringLiteral("FORMAT")},
        {QStringLiteral("rate"), QStringLiteral("sample rate of standard input (default 8000)"),
         QStringLiteral("HZ")},
        {QStringLiteral("save"),
         QStringLiteral("write the session code and text files and the XML report into DIR "
                        "(created if missing)"),
         QStringLiteral("DIR")},
        {QStringLiteral("report-every"),
         QStringLiteral("with --save: save the XML report at least every SECONDS (default 60)"),
         QStringLiteral("SECONDS"), QStringLiteral("60")},
        {QStringLiteral("start-time"),
         QStringLiteral("when the recording began, as UTC yyyy-MM-ddThh:mm:ss[.zzz] (default: "
                        "the file's modification time less its length; now for standard input)"),
         QStringLiteral("TIME")},
        {{QStringLiteral("q"), QStringLiteral("quiet")},
         QStringLiteral("do not print the names of the files written")},
    });
    const int parsed =
        CommandLine::Parse(parser, DECODE, arguments, QStringLiteral("[options] FILE|-"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    QString error;
    DecodeOptions options;
    if (!readDecodeOptions(parser, options, error))
        return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, error);

    cw::AudioFileReader reader;
    // Standard input: a recording recognised by its content, or raw 16-bit samples at --rate.
    std::unique_ptr<QIODevice> standardInput;
    bool opened = false;
    if (options.input == QLatin1String("-")) {
        standardInput = CommandLine::OpenInput(options.input, error);
        const QString name = CommandLine::InputName(options.input);
        opened = parser.isSet(QStringLiteral("rate"))
                     ? reader.OpenRawStream(standardInput.get(), name, int(options.dRate),
                                            cw::AudioFileReader::RawFormat::Signed16)
                     : reader.OpenStream(standardInput.get(), name);
    } else {
        opened = reader.Open(options.input);
    }
    if (!opened)
        return CommandLine::Fail(DECODE, EXIT_BAD_INPUT, reader.ErrorString());
    options.settings.dSampleRate = reader.SampleRate();
    if (!options.bHaveStartTime)
        options.u64StartUs = recordingStartUs(options.input, reader);
    ShutdownSignals::Install();
    return decode(options, reader);
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
    const int status = writeRecording(synthesizer, settings.nSampleRate, output, SYNTH);
    if (status != EXIT_OK)
        return status;
    std::fprintf(stderr, "morsetool synth: wrote %s (%.1f s at %d Hz)\n", qPrintable(output),
                 double(synthesizer.TotalSamples()) / settings.nSampleRate, settings.nSampleRate);
    return EXIT_OK;
}
