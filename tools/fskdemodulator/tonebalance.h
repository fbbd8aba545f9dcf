#pragma once

#include <cstddef>

namespace fsk {

class ToneFilter;

/// Weighs the two tone amplitudes into one decision value (positive: mark) that survives the
/// fading of one tone: each tone's level when on and floor when off are followed, the tone
/// on being the one higher on its own scale (needing no bit decisions, so a deep fade cannot
/// lock them), and each tone counts in proportion to its level, as the likelihood ratio of
/// non-coherent FSK has it. With both tones equally strong this is the plain difference. The
/// value is given on the scale of the present level: about +-1 at the bit decisions.
class ToneBalance
{
public:
    /// @p dBitSamples sets how fast the levels follow: within a few bits.
    explicit ToneBalance(double dBitSamples);

    /// The decision value for one pair of matched-filter amplitudes.
    float Push(float fMark, float fSpace);
    /// Starts the levels from the typical amplitudes of the first seconds of @p pSamples
    /// through the two filters, instead of learning them from nothing; clears the filters.
    void Prime(ToneFilter& mark, ToneFilter& space, const float* pSamples, size_t nCount,
               double dSampleRate);

private:
    struct Tracker
    {
        float fLevel = 0.0f;
        float fFloor = 0.0f;
        float range() const;
        void follow(float fAmplitude, float fStep, bool bOn, float fLowestLevel);
    };

    Tracker m_mark;
    Tracker m_space;
    float m_fStep;
    float m_fSmoothing;
    float m_fLowestLevel = 1e-9f;
    float m_fImbalance = 0.0f; ///< log of the mark range over the space range, smoothed
    float m_fShare = 0.0f;     ///< how much the weighing decides, 0 to 1
    unsigned m_nSinceJudged = 0;
};

} // namespace fsk
