#pragma once

#include "tools/cwdemodulator/fadefit.h"

#include <complex>
#include <vector>

namespace cw {

/// Tells from the samples held at acquisition whether the marks' level moves (a deep fade, a
/// receiver's gain cut) before any mark is decided: the tracking's level, learned from the
/// marks it decides, takes several fades to see one. Marks are read as the peaks of the
/// element-matched envelope of the in-phase part that stand clear of its noise; a steady
/// signal's stay near the strongest, a fading one's spread down to where they drown.
///
/// Life: create per acquisition with the held samples, then ask.
class HeldLevelSwing
{
public:
    /// @p inPhase: the held samples, in phase as the real parts, with @p fNoiseVariance per
    /// sample; @p dUnit: the element length found, in samples. Given @p dSampleRate, a fast
    /// fade fitted to the marks' peaks shows a swing too.
    HeldLevelSwing(const std::vector<std::complex<float>>& inPhase, double dUnit,
                   float fNoiseVariance, double dSampleRate = 0.0);

    /// Whether the marks' level swung within the held seconds.
    bool Swung() const { return m_bSwung; }
    /// Whether, though it did not swing, the marks' peaks fit a fade well: a fast fade whose
    /// bottoms drowned leaves peaks near its tops alone, too few or too shallow to show it.
    bool MaySwing() const { return m_bMaySwing; }
    /// Where a fade fitted to the marks' peaks showed the swing, those peaks, at their
    /// positions among the held samples; empty otherwise. The level follower starts its own
    /// fit from them, so that the first seconds replayed are followed with the fade known.
    const std::vector<FadeFit::MarkPeak>& FittedFadePeaks() const { return m_fittedFadePeaks; }

private:
    bool m_bSwung = false;
    bool m_bMaySwing = false;
    std::vector<FadeFit::MarkPeak> m_fittedFadePeaks;
};

} // namespace cw
