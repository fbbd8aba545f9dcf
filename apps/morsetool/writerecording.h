#pragma once

#include "commandline.h"
#include "commands.h"

#include "tools/cwdemodulator/audiofilewriter.h"

#include <QString>

#include <vector>

/// Writes everything @p synthesizer (CW or FSK: anything with Render(float*, n)) renders into
/// the new recording @p path at @p nSampleRate, a block at a time; the exit code, a failure
/// told as "morsetool @p command: ...".
template <class Synthesizer>
int writeRecording(Synthesizer& synthesizer, int nSampleRate, const QString& path,
                   const QString& command)
{
    constexpr int BLOCK_SAMPLES = 8192;
    cw::AudioFileWriter writer;
    if (!writer.Open(path, nSampleRate))
        return CommandLine::Fail(command, EXIT_FAILURE_RUNNING, writer.ErrorString());
    std::vector<float> block(BLOCK_SAMPLES);
    for (;;) {
        const auto count = synthesizer.Render(block.data(), BLOCK_SAMPLES);
        if (count == 0)
            break;
        if (!writer.Write(block.data(), count))
            return CommandLine::Fail(command, EXIT_FAILURE_RUNNING, writer.ErrorString());
    }
    if (!writer.Commit())
        return CommandLine::Fail(command, EXIT_FAILURE_RUNNING, writer.ErrorString());
    return EXIT_OK;
}
