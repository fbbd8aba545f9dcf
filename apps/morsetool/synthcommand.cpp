// morsetool synth: renders Morse text as a CW recording, for tests, demos and benchmarks.

#include "commands.h"

#include <cstdio>

#ifndef MORSETOOL_HAVE_CW

int runSynthCommand(const QStringList&)
{
    std::fprintf(stderr, "morsetool synth: this build has no CW audio support\n");
    return EXIT_FAILURE_RUNNING;
}

#else

#include "commandline.h"
#include "datapaths.h"
#include "morseencoder.h"
#include "writerecording.h"

#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>

namespace {

bool readNumber(const QCommandLineParser& parser, const QString& name, double minimum,
                double maximum, double& value)
{
    return CommandLine::ReadNumber(parser, QStringLiteral("synth"), name, minimum, maximum, value);
}

/// Declares the command's text argument and options on @p parser.
void addOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Synthesize a Morse (CW) recording of TEXT: a keyed tone, optionally with white noise "
        "(SNR in a 2500 Hz bandwidth), hand-sent timing jitter, keyer weighting, Farnsworth "
        "spacing, fading, a speed change, drift, chirp, phase restarts, static crashes and a "
        "neighbouring signal."));
    parser.addPositionalArgument(
        QStringLiteral("TEXT"),
        QStringLiteral("the text to send; several arguments are joined by blanks; none or - "
                       "reads standard input"),
        QStringLiteral("[TEXT...|-]"));
    parser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("recording to write (.wav, .flac or .ogg; never replaced), or - for "
                        "WAV on standard output"),
         QStringLiteral("FILE")},
        {QStringLiteral("wpm"), QStringLiteral("speed in words per minute (default 20)"),
         QStringLiteral("WPM")},
        {QStringLiteral("wpm-end"),
         QStringLiteral("speed at the end; the speed changes evenly from --wpm to it"),
         QStringLiteral("WPM")},
        {QStringLiteral("pitch"), QStringLiteral("tone frequency in Hz (default 700)"),
         QStringLiteral("HZ")},
        {QStringLiteral("snr"),
         QStringLiteral("add white noise: tone power over noise power in 2500 Hz, in dB"),
         QStringLiteral("DB")},
        {QStringLiteral("jitter"),
         QStringLiteral("stretch or shorten each element and gap by up to this percentage"),
         QStringLiteral("PCT")},
        {QStringLiteral("qsb"), QStringLiteral("slow fading at this rate"), QStringLiteral("HZ")},
        {QStringLiteral("qsb-depth"), QStringLiteral("depth of the fading in dB (default 10)"),
         QStringLiteral("DB")},
        {QStringLiteral("weight"),
         QStringLiteral("keyer weighting: dot over element gap length (default 1)"),
         QStringLiteral("RATIO")},
        {QStringLiteral("farnsworth"),
         QStringLiteral("send the gaps between characters and words at this slower speed"),
         QStringLiteral("WPM")},
        {QStringLiteral("rise"), QStringLiteral("keying edge time in ms (default 5)"),
         QStringLiteral("MS")},
        {QStringLiteral("drift"), QStringLiteral("the tone drifts by this much per second"),
         QStringLiteral("HZ")},
        {QStringLiteral("chirp"),
         QStringLiteral("each mark starts this far above the pitch and settles in 20 ms"),
         QStringLiteral("HZ")},
        {QStringLiteral("phase-restart"), QStringLiteral("start each element's tone at phase 0")},
        {QStringLiteral("phase-noise"),
         QStringLiteral("let the phase wander by this many radians per root second"),
         QStringLiteral("RAD")},
        {QStringLiteral("crashes"), QStringLiteral("static crashes per second"),
         QStringLiteral("N")},
        {QStringLiteral("crash-level"),
         QStringLiteral("crash peak over the tone in dB (default 25)"), QStringLiteral("DB")},
        {QStringLiteral("agc"),
         QStringLiteral("a receiver's AGC that recovers with this time constant after a louder "
                        "sound"),
         QStringLiteral("SEC")},
        {QStringLiteral("neighbour-pitch"),
         QStringLiteral("add a neighbouring signal at this pitch"), QStringLiteral("HZ")},
        {QStringLiteral("neighbour-level"),
         QStringLiteral("the neighbour's level over the tone in dB (default 0)"),
         QStringLiteral("DB")},
        {QStringLiteral("neighbour-wpm"), QStringLiteral("the neighbour's speed (default --wpm)"),
         QStringLiteral("WPM")},
        {QStringLiteral("neighbour-text"),
         QStringLiteral("what the neighbour sends (default the same text)"),
         QStringLiteral("TEXT")},
        {QStringLiteral("rate"), QStringLiteral("sample rate (default 8000)"),
         QStringLiteral("HZ")},
        {QStringLiteral("seed"), QStringLiteral("seed of the noise and jitter (default 1)"),
         QStringLiteral("N")},
        {QStringLiteral("alphabet"),
         QStringLiteral("send through the alphabet NAME (see 'morsetool alphabets'); default: "
                        "the built-in International alphabet"),
         QStringLiteral("NAME")},
        {QStringLiteral("alphabets"), QStringLiteral("the alphabets directory"),
         QStringLiteral("DIR"), DataPaths::AlphabetsDirectory()},
    });
}

/// The options of the recording (@p settings) and of its neighbouring signal (@p neighbour, at
/// @p neighbourLevel dB over the tone); false after a message when one is out of range.
bool readSettings(const QCommandLineParser& parser, cw::CwSynthesizer::Settings& settings,
                  cw::CwSynthesizer::Settings& neighbour, double& neighbourLevel)
{
    double rate = settings.nSampleRate;
    double seed = settings.uSeed;
    settings.bNoise = parser.isSet(QStringLiteral("snr"));
    if (!readNumber(parser, QStringLiteral("wpm"), 1, 200, settings.dWpm) ||
        !readNumber(parser, QStringLiteral("wpm-end"), 1, 200, settings.dWpmEnd) ||
        !readNumber(parser, QStringLiteral("pitch"), 50, 4000, settings.dPitchHz) ||
        !readNumber(parser, QStringLiteral("snr"), -60, 100, settings.dSnrDb) ||
        !readNumber(parser, QStringLiteral("jitter"), 0, 50, settings.dJitterPercent) ||
        !readNumber(parser, QStringLiteral("qsb"), 0, 10, settings.dQsbHz) ||
        !readNumber(parser, QStringLiteral("qsb-depth"), 0, 60, settings.dQsbDepthDb) ||
        !readNumber(parser, QStringLiteral("weight"), 0.3, 3, settings.dWeight) ||
        !readNumber(parser, QStringLiteral("farnsworth"), 1, 200, settings.dFarnsworthWpm) ||
        !readNumber(parser, QStringLiteral("rise"), 0, 50, settings.dRiseMs) ||
        !readNumber(parser, QStringLiteral("drift"), -50, 50, settings.dDriftHzPerSec) ||
        !readNumber(parser, QStringLiteral("chirp"), -200, 200, settings.dChirpHz) ||
        !readNumber(parser, QStringLiteral("phase-noise"), 0, 100, settings.dPhaseNoise) ||
        !readNumber(parser, QStringLiteral("crashes"), 0, 100, settings.dCrashesPerSec) ||
        !readNumber(parser, QStringLiteral("crash-level"), -20, 80, settings.dCrashDb) ||
        !readNumber(parser, QStringLiteral("agc"), 0, 60, settings.dAgcSec) ||
        !readNumber(parser, QStringLiteral("rate"), 4000, 192000, rate) ||
        !readNumber(parser, QStringLiteral("seed"), 0, 4294967295.0, seed))
        return false;
    settings.nSampleRate = int(rate);
    settings.uSeed = quint32(seed);
    settings.bPhaseRestart = parser.isSet(QStringLiteral("phase-restart"));
    neighbour = settings;
    neighbour.uSeed = settings.uSeed + 1;
    neighbourLevel = 0.0;
    if (!readNumber(parser, QStringLiteral("neighbour-pitch"), 50, 4000, neighbour.dPitchHz) ||
        !readNumber(parser, QStringLiteral("neighbour-level"), -60, 60, neighbourLevel) ||
        !readNumber(parser, QStringLiteral("neighbour-wpm"), 1, 200, neighbour.dWpm))
        return false;
    if (settings.dPitchHz >= rate / 2.0) {
        CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                          QStringLiteral("--pitch must be below half the sample rate"));
        return false;
    }
    return true;
}

/// Renders the recording as WAV on standard output; the exit code.
int renderToStandardOutput(cw::CwSynthesizer& synthesizer, int nSampleRate)
{
    // libsndfile finishes a WAV header by seeking back: render to a file, then copy it.
    QTemporaryDir folder;
    const QString staged = folder.filePath(QStringLiteral("synth.wav"));
    const int status = writeRecording(synthesizer, nSampleRate, staged, QStringLiteral("synth"));
    QFile recording(staged);
    if (status != EXIT_OK)
        return status;
    if (!recording.open(QIODevice::ReadOnly))
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                 CommandLine::CannotOpen(staged, recording.errorString()));
    const QByteArray bytes = recording.readAll();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return EXIT_OK;
}

/// Renders the recording into the new file @p output; the exit code.
int renderToFile(cw::CwSynthesizer& synthesizer, int nSampleRate, const QString& output)
{
    if (!cw::AudioFileWriter::IsSupportedName(output)) {
        return CommandLine::Fail(
            QStringLiteral("synth"), EXIT_BAD_INPUT,
            QStringLiteral("%1: the name must end in .wav, .flac or .ogg").arg(output));
    }
    const int status = writeRecording(synthesizer, nSampleRate, output, QStringLiteral("synth"));
    if (status == EXIT_OK)
        std::fprintf(stderr, "morsetool synth: wrote %s (%.1f s at %d Hz)\n", qPrintable(output),
                     double(synthesizer.TotalSamples()) / nSampleRate, nSampleRate);
    return status;
}

} // namespace

int runSynthCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    addOptions(parser);
    const int parsed = CommandLine::Parse(parser, QStringLiteral("synth"), arguments,
                                          QStringLiteral("[options] -o FILE|- [TEXT...|-]"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    if (!parser.isSet(QStringLiteral("output")))
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                                 QStringLiteral("-o FILE is required (- for standard output)"));
    QString text;
    QString error;
    if (!CommandLine::ReadText(parser.positionalArguments(), text, error))
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT, error);

    cw::CwSynthesizer::Settings settings;
    cw::CwSynthesizer::Settings neighbour;
    double neighbourLevel = 0.0;
    if (!readSettings(parser, settings, neighbour, neighbourLevel))
        return EXIT_BAD_INPUT;

    if (parser.isSet(QStringLiteral("alphabet"))) {
        MorseEncoder encoder;
        if (!encoder.loadAlphabet(parser.value(QStringLiteral("alphabets")),
                                  parser.value(QStringLiteral("alphabet")), error))
            return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT, error);
        settings.characterCodes = encoder.characterCodes();
    }
    cw::CwSynthesizer synthesizer(settings);
    const QString neighbourText = parser.isSet(QStringLiteral("neighbour-text"))
                                      ? parser.value(QStringLiteral("neighbour-text"))
                                      : text;
    if (!synthesizer.SetText(text) ||
        (parser.isSet(QStringLiteral("neighbour-pitch")) &&
         !synthesizer.AddNeighbour(neighbour, neighbourText, neighbourLevel))) {
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                                 synthesizer.ErrorString());
    }
    const QString output = parser.value(QStringLiteral("output"));
    if (output == QLatin1String("-"))
        return renderToStandardOutput(synthesizer, settings.nSampleRate);
    return renderToFile(synthesizer, settings.nSampleRate, output);
}

#endif // MORSETOOL_HAVE_CW
