#pragma once

#include "tools/cwdemodulator/pitchdetector.h"
#include "tools/morsedsp/ringbuffer.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cw {

/// The demodulator's first stage: searches the tone (PitchDetector) while keeping the latest
/// audio, so that what came before the tone was found can be decoded once it is. The audio
/// kept grows to its capacity, then wraps, so that a short input does not pay for seconds of
/// memory.
///
/// Life: create, Push() until Found(), or Finish() when the input ends first; then the audio
/// kept, Older() first, goes on to the next stage.
class PitchSearch
{
public:
    /// A stretch of the audio kept.
    using Part = dsp::RingBuffer<float>::Part;

    /// Searches between @p dMinHz and @p dMaxHz, keeping @p dKeptSec of audio.
    PitchSearch(double dSampleRate, double dMinHz, double dMaxHz, double dKeptSec);

    /// Takes samples up to the search's next decision, at most @p nCount; returns how many.
    size_t Push(const float* pSamples, size_t nCount);
    /// The input ended: true when the strongest peak so far, though not yet clear, is clear
    /// enough to be taken.
    bool Finish() const;

    /// A tone stood clearly out at the last decision.
    bool Found() const { return m_bFound; }
    /// The strongest tone so far (Hz).
    double Pitch() const { return m_detector.Pitch(); }
    /// Samples of audio kept.
    size_t Kept() const { return m_kept.size(); }
    /// The audio kept, oldest first: Older(), then Newer().
    Part Older() const { return m_kept.Older(); }
    Part Newer() const { return m_kept.Newer(); }

private:
    PitchDetector m_detector;
    std::int64_t m_nTaken = 0; ///< samples pushed so far
    bool m_bFound = false;
    dsp::RingBuffer<float> m_kept;
};

} // namespace cw
