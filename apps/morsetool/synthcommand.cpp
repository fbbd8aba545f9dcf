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

#ifdef MORSETOOL_HAVE_RTTY
#include "rttycommands.h"
#endif
#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QCommandLineParser>

#include <vector>

namespace {

bool readNumber(const QCommandLineParser& parser, const QString& name, double minimum,
                double maximum, double& value)
{
    return CommandLine::ReadNumber(parser, QStringLiteral("synth"), name, minimum, maximum, value);
}

} // namespace

int runSynthCommand(const QStringList& givenArguments)
{
#ifdef MORSETOOL_HAVE_RTTY
    QStringList arguments = givenArguments;
    int exitCode = EXIT_OK;
    if (RunsOtherMode(arguments, QStringLiteral("synth"), runRttySynthCommand, exitCode))
        return exitCode;
#else
    const QStringList& arguments = givenArguments;
#endif
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Synthesize a Morse (CW) recording of TEXT: a keyed tone, optionally with white noise "
        "(SNR in a 2500 Hz bandwidth), hand-sent timing jitter, fading and a speed change."));
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("the text to send"));
    parser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("recording to write (.wav, .flac or .ogg); never replaced"),
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
        {QStringLiteral("qsb"), QStringLiteral("slow fading at this rate (10 dB deep)"),
         QStringLiteral("HZ")},
        {QStringLiteral("rate"), QStringLiteral("sample rate (default 8000)"),
         QStringLiteral("HZ")},
        {QStringLiteral("seed"), QStringLiteral("seed of the noise and jitter (default 1)"),
         QStringLiteral("N")},
    });
    const int parsed = CommandLine::Parse(parser, QStringLiteral("synth"), arguments,
                                          QStringLiteral("[options] TEXT -o FILE"));
    if (parsed != CommandLine::CONTINUE)
        return parsed;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1 || !parser.isSet(QStringLiteral("output")))
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                                 QStringLiteral("expected one TEXT and -o FILE (see --help)"));

    cw::CwSynthesizer::Settings settings;
    double rate = settings.nSampleRate;
    double seed = settings.uSeed;
    settings.bNoise = parser.isSet(QStringLiteral("snr"));
    if (!readNumber(parser, QStringLiteral("wpm"), 1, 200, settings.dWpm) ||
        !readNumber(parser, QStringLiteral("wpm-end"), 1, 200, settings.dWpmEnd) ||
        !readNumber(parser, QStringLiteral("pitch"), 50, 4000, settings.dPitchHz) ||
        !readNumber(parser, QStringLiteral("snr"), -60, 100, settings.dSnrDb) ||
        !readNumber(parser, QStringLiteral("jitter"), 0, 50, settings.dJitterPercent) ||
        !readNumber(parser, QStringLiteral("qsb"), 0, 10, settings.dQsbHz) ||
        !readNumber(parser, QStringLiteral("rate"), 4000, 192000, rate) ||
        !readNumber(parser, QStringLiteral("seed"), 0, 4294967295.0, seed))
        return EXIT_BAD_INPUT;
    settings.nSampleRate = int(rate);
    settings.uSeed = quint32(seed);
    if (settings.dPitchHz >= rate / 2.0) {
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                                 QStringLiteral("--pitch must be below half the sample rate"));
    }

    cw::CwSynthesizer synthesizer(settings);
    if (!synthesizer.SetText(positional.first())) {
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                                 synthesizer.ErrorString());
    }
    const QString output = parser.value(QStringLiteral("output"));
    if (!cw::AudioFileWriter::IsSupportedName(output)) {
        return CommandLine::Fail(
            QStringLiteral("synth"), EXIT_BAD_INPUT,
            QStringLiteral("%1: the name must end in .wav, .flac or .ogg").arg(output));
    }
    cw::AudioFileWriter writer;
    if (!writer.Open(output, settings.nSampleRate)) {
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                 writer.ErrorString());
    }
    std::vector<float> block(8192);
    for (;;) {
        const qint64 count = synthesizer.Render(block.data(), qint64(block.size()));
        if (count == 0)
            break;
        if (!writer.Write(block.data(), count)) {
            return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                     writer.ErrorString());
        }
    }
    if (!writer.Commit()) {
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                 writer.ErrorString());
    }
    std::fprintf(stderr, "morsetool synth: wrote %s (%.1f s at %d Hz)\n", qPrintable(output),
                 double(synthesizer.TotalSamples()) / settings.nSampleRate, settings.nSampleRate);
    return EXIT_OK;
}

#endif // MORSETOOL_HAVE_CW
