#pragma once

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
    /// Sets the word gap from the first @p nCount character gaps, once there are enough.
    void judge(std::array<double, 16> gaps, int nCount);

    std::array<double, 16> m_gaps{}; ///< recent gaps that ended a character, units
    int m_nCount = 0;
    int m_nNext = 0;
    double m_dWordUnits = 4.6;
};

} // namespace cw
