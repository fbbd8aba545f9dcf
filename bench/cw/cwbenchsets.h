#pragma once

#include "cwbenchsupport.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <random>
#include <vector>

/// What the CW benches make on demand beyond the shared helpers: random texts, recordings from an
/// independent generator and through lossy codecs, and the text read after a signal ended.
namespace cwbench {

/// A random line of mixed words, callsigns and numbers.
QString randomText(std::mt19937& generator, int nTokens);

/// The characters of @p codes whose first element was heard after input sample @p nEnd, as
/// text (what a decoder read from something that was not the wanted signal).
QString textAfter(const std::vector<int>& codes, const std::vector<std::int64_t>& positions,
                  std::int64_t nEnd);

/// Renders @p text with ebook2cw, a generator independent of ours (MP3, at 11025 Hz unless
/// @p extraOptions ask for another rate, then sox to @p nRate), in @p strWorkDir; empty when
/// either tool fails. @p extraOptions go to ebook2cw, @p soxEffects to sox after the
/// conversion to @p nRate (a fade, say).
std::vector<float> renderEbook2cw(const QString& text, double dWpm, double dPitchHz, int nRate,
                                  const QString& strWorkDir,
                                  const QStringList& extraOptions = QStringList(),
                                  const QStringList& soxEffects = QStringList());

/// The mean power of a keyed tone while it is on: the median power of the 5 ms stretches that
/// hold at least half the loudest one's. A lossy codec's ringing lifts single samples well
/// over the tone's amplitude, so its peak would overstate the tone (by about 0.4 dB for
/// ebook2cw's MP3).
double keyedTonePower(const std::vector<float>& samples, int nRate);
/// The power of the loudest 5 ms stretch of @p samples: where a fade's peak meets a mark, the
/// tone's own power before the fade.
double loudestStretchPower(const std::vector<float>& samples, int nRate);

/// Encodes @p samples lossily through sox (@p strFormat "mp3" at 16 kbit/s or "ogg" at its
/// lowest quality) and decodes them again, the codec's delay taken out; false when sox fails.
bool lossyRoundTrip(std::vector<float>& samples, int nRate, const QString& strFormat,
                    const QString& strWorkDir);

} // namespace cwbench
