#pragma once

#include "tools/cwdemodulator/cwdemodulator.h"
#include "tools/cwdemodulator/cwsynthesizer.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <random>
#include <vector>

/// Helpers the CW benchmarks share: test texts, decoding to text and the error rate.
namespace cwbench {

/// A random line of mixed words, callsigns and numbers.
QString randomText(std::mt19937& generator, int nTokens);

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

/// The characters of @p codes whose first element was heard after input sample @p nEnd, as
/// text (what a decoder read from something that was not the wanted signal).
QString textAfter(const std::vector<int>& codes, const std::vector<std::int64_t>& positions,
                  std::int64_t nEnd);

/// Upper case, every run of white space one blank, no blanks at either end.
QString normalized(const QString& text);

int editDistance(const QString& a, const QString& b);

/// The samples of the recording at @p strPath (its first channel); empty when it cannot be read.
std::vector<float> readAudio(const QString& strPath);

/// Writes @p samples as a new recording at @p strPath; false when that fails.
bool writeAudio(const QString& strPath, const std::vector<float>& samples, int nRate);

/// Renders @p text with ebook2cw, a generator independent of ours (MP3 at 11025 Hz, then
/// sox to @p nRate), in @p strWorkDir; empty when either tool fails. @p extraOptions go to
/// ebook2cw.
std::vector<float> renderEbook2cw(const QString& text, double dWpm, double dPitchHz, int nRate,
                                  const QString& strWorkDir,
                                  const QStringList& extraOptions = QStringList());

/// Encodes @p samples lossily through sox (@p strFormat "mp3" at 16 kbit/s or "ogg" at its
/// lowest quality) and decodes them again, the codec's delay taken out; false when sox fails.
bool lossyRoundTrip(std::vector<float>& samples, int nRate, const QString& strFormat,
                    const QString& strWorkDir);

/// Adds white Gaussian noise so that the key-down tone power (from the peak level) over the
/// noise power in 2500 Hz is @p dSnrDb.
void addNoise(std::vector<float>& samples, int nRate, double dSnrDb, quint32 uSeed);

} // namespace cwbench
