#include "tools/cwdemodulator/keyingthreshold.h"

#include <algorithm>

namespace cw {

namespace {

// Thresholds as shares of the span between the space and mark levels. A magnitude's noise
// is skewed upward (Rayleigh), so there a mark must rise higher and a gap fall deeper; the
// in-phase part's noise is symmetric. Tuned on the error-rate benchmark.
constexpr float HIGH_THRESHOLD = 0.55f; ///< key-down above this
constexpr float LOW_THRESHOLD = 0.45f;  ///< key-up below this
constexpr float PEAK_LEVEL = 0.75f;     ///< a mark must reach this
constexpr float DIP_LEVEL = 0.3f;       ///< a gap must fall below this
constexpr float COHERENT_HIGH = 0.5f;
constexpr float COHERENT_LOW = 0.4f;
constexpr float COHERENT_PEAK = 0.5f;
constexpr float COHERENT_DIP = 0.35f;

constexpr float MARK_WEIGHT = 0.4f; ///< share of each mark in the mark level (fading)

} // namespace

void KeyingThreshold::Start(float fMarkLevel, float fSpaceLevel, bool bCoherent)
{
    // Magnitude noise is skewed upward (Rayleigh), so a mark has to stand out further.
    m_bCoherent = bCoherent;
    m_fHigh = bCoherent ? COHERENT_HIGH : HIGH_THRESHOLD;
    m_fLow = bCoherent ? COHERENT_LOW : LOW_THRESHOLD;
    m_fPeakShare = bCoherent ? COHERENT_PEAK : PEAK_LEVEL;
    m_fDipShare = bCoherent ? COHERENT_DIP : DIP_LEVEL;
    m_fMark = fMarkLevel;
    m_fSpace = std::min(fSpaceLevel, fMarkLevel);
    placeThresholds();
    m_bAbove = false;
    m_nPendingEdge = -1;
    m_fExtreme = 0.0f;
}

void KeyingThreshold::FollowSpace(float fEnvelope, double dUnit)
{
    m_fSpace += (fEnvelope - m_fSpace) / float(4.0 * dUnit);
    placeThresholds();
}

void KeyingThreshold::FollowMark(float fObserved)
{
    m_fMark += MARK_WEIGHT * (fObserved - m_fMark);
    placeThresholds();
}

} // namespace cw
