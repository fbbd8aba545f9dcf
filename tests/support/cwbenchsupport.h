#pragma once

#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QString>

#include <cstdint>
#include <vector>

/// Helpers the CW tests and benchmarks share: decoding to text, the error rate, audio files
/// and noise.
namespace cwbench {

/// Codes to text the way the Morse handler reads them with the built-in alphabet: one
/// character per end of character, one blank per end of word, a line feed per end of line.
QString codesToText(const std::vector<int>& codes);

/// Runs the demodulator over @p samples in blocks of @p nBlock and returns the codes;
/// @p dGivenPitch 0 lets it search the tone. @p pPositions, when given, receives the input
/// sample position of each code.
std::vector<int> demodulate(const std::vector<float>& samples, int nSampleRate, int nBlock = 4096,
                            double* pWpm = nullptr, double* pPitch = nullptr,
                            double dGivenPitch = 0.0,
                            std::vector<std::int64_t>* pPositions = nullptr);

/// Upper case, every run of white space one blank, no blanks at either end.
QString normalized(const QString& text);

/// Characters inserted, dropped or changed between the two texts (`support::editDistance`).
int editDistance(const QString& a, const QString& b);

/// The samples of the recording at @p strPath (its first channel); empty when it cannot be read.
std::vector<float> readAudio(const QString& strPath);

/// Writes @p samples as a new recording at @p strPath; false when that fails.
bool writeAudio(const QString& strPath, const std::vector<float>& samples, int nRate);

/// Adds white Gaussian noise so that the key-down tone power (from the peak level) over the
/// noise power in 2500 Hz is @p dSnrDb.
void addNoise(std::vector<float>& samples, int nRate, double dSnrDb, quint32 uSeed);

/// Adds white Gaussian noise so that @p dTonePower over the noise power in 2500 Hz is
/// @p dSnrDb.
void addNoiseAt(std::vector<float>& samples, int nRate, double dTonePower, double dSnrDb,
                quint32 uSeed);

} // namespace cwbench
