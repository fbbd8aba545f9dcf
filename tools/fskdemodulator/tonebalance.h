#pragma once

#include <cstddef>

namespace fsk {

class ToneFilter;

/// Weighs the two tone amplitudes into one decision value (positive: mark) that survives the
/// fading of one tone. Each tone's level when on and its floor when off are learned from the
/// decided bits; each amplitude is clipped to its own range, and the threshold sits halfway
/// between the two ranges. With both tones equally strong this is the plain difference.
class ToneBalance
{
public:
    /// @p dBitSamples sets how fast the levels follow: over about sixteen bits.
    explicit ToneBalance(double dBitSamples);

    /// The decision value for one pair of matched-filter amplitudes.
    float Push(float fMark, float fSpace);
    /// Learns from a decided bit: the winning tone was on, the other off.
    void Learn(float fMark, float fSpace, bool bMark);
    /// Starts the levels from the typical amplitudes of the first second of @p pSamples
    /// through the two filters, instead of learning them from nothing; clears the filters.
    void Prime(ToneFilter& mark, ToneFilter& space, const float* pSamples, size_t nCount,
               double dSampleRate);

    float MarkLevel() const { return m_mark.fLevel; }
    float SpaceLevel() const { return m_space.fLevel; }

private:
    struct Tracker
    {
        float fLevel = 0.0f;
        float fFloor = 0.0f;
        float clipped(float fAmplitude) const;
    };

    Tracker m_mark;
    Tracker m_space;
    float m_fWeight;
};

} // namespace fsk
