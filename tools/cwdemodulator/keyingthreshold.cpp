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

// Decision points, in element lengths (units).
constexpr double MARK_GLITCH_UNITS = 0.4;    ///< shorter marks are noise
constexpr double GAP_GLITCH_UNITS = 0.2;     ///< shorter gaps are noise
constexpr double LEVEL_OVERRIDE_UNITS = 1.5; ///< a change lasting this long counts anyway

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

qint64 KeyingThreshold::confirmedEdge(qint64 nPosition, bool bKeyDown, double dUnit)
{
    // A change counts once it lasted a third of an element and went deep enough: a mark must
    // rise well above the threshold, a gap must fall close to the noise. Durations still come
    // from the threshold crossings.
    const double lasted = double(nPosition + 1 - m_nPendingEdge);
    const float levelSpan = span();
    const bool deepEnough = bKeyDown ? m_fExtreme <= m_fSpace + levelSpan * m_fDipShare
                                     : m_fExtreme >= m_fSpace + levelSpan * m_fPeakShare;
    const double glitch = bKeyDown ? GAP_GLITCH_UNITS : MARK_GLITCH_UNITS;
    if (lasted < std::max(1.0, glitch * dUnit) ||
        !(deepEnough || lasted >= LEVEL_OVERRIDE_UNITS * dUnit))
        return -1;
    const qint64 edge = m_nPendingEdge;
    m_nPendingEdge = -1;
    return edge;
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
