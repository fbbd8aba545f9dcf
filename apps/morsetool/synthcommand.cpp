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

#include "tools/cwdemodulator/audiofilewriter.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

bool readNumber(const QCommandLineParser& parser, const QString& name, double minimum,
                double maximum, double& value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double number = parser.value(name).toDouble(&ok);
    if (!ok || number < minimum || number > maximum) {
        CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                          QStringLiteral("--%1 must be a number from %2 to %3")
                              .arg(name)
                              .arg(minimum)
                              .arg(maximum));
        return false;
    }
    value = number;
    return true;
}

/// Renders the recording of @p synthesizer into @p path; the exit code.
int render(cw::CwSynthesizer& synthesizer, int nSampleRate, const QString& path)
{
    cw::AudioFileWriter writer;
    if (!writer.Open(path, nSampleRate))
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                 writer.ErrorString());
    std::vector<float> block(8192);
    for (;;) {
        const qint64 count = synthesizer.Render(block.data(), qint64(block.size()));
        if (count == 0)
            break;
        if (!writer.Write(block.data(), count))
            return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                     writer.ErrorString());
    }
    if (!writer.Commit())
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_FAILURE_RUNNING,
                                 writer.ErrorString());
    return EXIT_OK;
}

} // namespace

int runSynthCommand(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Synthesize a Morse (CW) recording of TEXT: a keyed tone, optionally with white noise "
        "(SNR in a 2500 Hz bandwidth), hand-sent timing jitter, fading and a speed change."));
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
        {QStringLiteral("qsb"), QStringLiteral("slow fading at this rate (10 dB deep)"),
         QStringLiteral("HZ")},
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

    if (parser.isSet(QStringLiteral("alphabet"))) {
        MorseEncoder encoder;
        if (!encoder.loadAlphabet(parser.value(QStringLiteral("alphabets")),
                                  parser.value(QStringLiteral("alphabet")), error))
            return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT, error);
        settings.characterCodes = encoder.characterCodes();
    }
    cw::CwSynthesizer synthesizer(settings);
    if (!synthesizer.SetText(text)) {
        return CommandLine::Fail(QStringLiteral("synth"), EXIT_BAD_INPUT,
                                 synthesizer.ErrorString());
    }
    const QString output = parser.value(QStringLiteral("output"));
    if (output == QLatin1String("-")) {
        // libsndfile finishes a WAV header by seeking back: render to a file, then copy it.
        QTemporaryDir folder;
        const QString staged = folder.filePath(QStringLiteral("synth.wav"));
        const int status = render(synthesizer, settings.nSampleRate, staged);
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
    if (!cw::AudioFileWriter::IsSupportedName(output)) {
        return CommandLine::Fail(
            QStringLiteral("synth"), EXIT_BAD_INPUT,
            QStringLiteral("%1: the name must end in .wav, .flac or .ogg").arg(output));
    }
    const int status = render(synthesizer, settings.nSampleRate, output);
    if (status == EXIT_OK)
        std::fprintf(stderr, "morsetool synth: wrote %s (%.1f s at %d Hz)\n", qPrintable(output),
                     double(synthesizer.TotalSamples()) / settings.nSampleRate,
                     settings.nSampleRate);
    return status;
}

#endif // MORSETOOL_HAVE_CW
