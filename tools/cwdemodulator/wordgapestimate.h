#pragma once

#include "tools/morsedsp/ringbuffer.h"

#include <array>
#include <vector>

namespace cw {

/// The silence that ends a word, for CwTimingTracker: judged against the gaps that ended
/// characters (in element lengths), so that Farnsworth spacing, fast characters with long gaps
/// between them, is not read as a word gap after every character.
class WordGapEstimate
{
public:
    /// A new transmission: the word gap is the ordinary one until its character gaps are known.
    void Restart();
    /// A gap that ended a character, in element lengths.
    void RememberCharacterGap(double dUnits);
    /// Character gaps found before the transmission's own are known (see
    /// CwTimingTracker::PresetCharacterGaps); they are judged but not kept.
    void Preset(const std::vector<double>& units);
    /// The silence that ends a word, element lengths.
    double WordUnits() const { return m_dWordUnits; }

private:
    static constexpr size_t GAPS_KEPT = 16;
    using Gaps = std::array<double, GAPS_KEPT>;

    /// Sets the word gap from the first @p nCount character gaps, once there are enough.
    void judge(Gaps gaps, size_t nCount);

    dsp::RingBuffer<double> m_gaps{GAPS_KEPT}; ///< recent gaps that ended a character, units
    double m_dWordUnits = 4.6;
};

} // namespace cw
