#pragma once

#include <QtGlobal>

#include <algorithm>

namespace cw {

/// Decides key-down and key-up on an envelope for CwTimingTracker: an adaptive threshold with
/// hysteresis between the tracked mark and space levels, and a change of side that counts only
/// once it lasted long enough and went deep enough (a glitch does not). The tracker says which
/// side is confirmed and takes the confirmed edges.
class KeyingThreshold
{
public:
    /// Begins with the given levels. @p bCoherent: the envelope is the tone's in-phase part,
    /// whose noise is Gaussian around zero, rather than a magnitude.
    void Start(float fMarkLevel, float fSpaceLevel, bool bCoherent);
    /// Compares envelope sample @p nPosition with the threshold; @p bKeyDown is the confirmed
    /// side. Returns whether the envelope is above the threshold now. (Inline, as is the
    /// common case of the next: they run on every envelope sample, in the speed search's
    /// trials too.)
    bool Compare(qint64 nPosition, float fEnvelope, bool bKeyDown)
    {
        const bool above = fEnvelope > (m_bAbove ? m_fFallAt : m_fRiseAt);
        if (above != m_bAbove) {
            m_bAbove = above;
            m_nPendingEdge = above == bKeyDown ? -1 : nPosition;
            m_fExtreme = fEnvelope;
        }
        if (m_nPendingEdge >= 0)
            m_fExtreme =
                bKeyDown ? std::min(m_fExtreme, fEnvelope) : std::max(m_fExtreme, fEnvelope);
        return above;
    }
    /// The pending edge, once it lasted long enough for element length @p dUnit at sample
    /// @p nPosition; -1 otherwise. A confirmed edge is no longer pending.
    qint64 TakeConfirmedEdge(qint64 nPosition, bool bKeyDown, double dUnit)
    {
        return m_nPendingEdge < 0 ? -1 : confirmedEdge(nPosition, bKeyDown, dUnit);
    }

    /// Follows the noise level with a sample from a gap, averaged over about four elements.
    void FollowSpace(float fEnvelope, double dUnit);
    /// Follows the mark level with the level @p fObserved of a finished mark.
    void FollowMark(float fObserved);

    bool IsCoherent() const { return m_bCoherent; }
    bool HasPendingEdge() const { return m_nPendingEdge >= 0; }
    /// The envelope is above the threshold now.
    bool IsAbove() const { return m_bAbove; }
    /// The level the next sample is compared with: above it is above the threshold.
    float Threshold() const { return m_bAbove ? m_fFallAt : m_fRiseAt; }
    qint64 PendingEdge() const { return m_nPendingEdge; }
    /// Highest (rising) or lowest (falling) envelope since the pending edge.
    float Extreme() const { return m_fExtreme; }
    float MarkLevel() const { return m_fMark; }
    float SpaceLevel() const { return m_fSpace; }

private:
    float span() const { return std::max(m_fMark - m_fSpace, 1e-12f); }
    /// The two thresholds again, after the levels moved: between two moves every sample is
    /// compared with the same ones.
    void placeThresholds()
    {
        m_fRiseAt = m_fSpace + span() * m_fHigh;
        m_fFallAt = m_fSpace + span() * m_fLow;
    }
    /// TakeConfirmedEdge() with an edge pending. (Inline too: the speed search's trials keep a
    /// copy of the threshold in registers for a whole envelope, which a call would spill.)
    qint64 confirmedEdge(qint64 nPosition, bool bKeyDown, double dUnit)
    {
        // A change counts once it lasted a third of an element and went deep enough: a mark
        // must rise well above the threshold, a gap must fall close to the noise. Durations
        // still come from the threshold crossings.
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

    // Decision points, in element lengths (units).
    static constexpr double MARK_GLITCH_UNITS = 0.4; ///< shorter marks are noise
    static constexpr double GAP_GLITCH_UNITS = 0.2;  ///< shorter gaps are noise
    /// A change lasting this long counts anyway.
    static constexpr double LEVEL_OVERRIDE_UNITS = 1.5;

    float m_fMark = 1.0f;
    float m_fSpace = 0.0f;
    bool m_bCoherent = false;
    float m_fHigh = 0.5f;   ///< key-down threshold, share of the level span
    float m_fLow = 0.5f;    ///< key-up threshold
    float m_fRiseAt = 0.5f; ///< the envelope above it is key-down, from below
    float m_fFallAt = 0.5f; ///< the envelope not above it is key-up, from above
    float m_fPeakShare = 0.75f;
    float m_fDipShare = 0.3f;
    bool m_bAbove = false;      ///< envelope above the threshold now
    qint64 m_nPendingEdge = -1; ///< unconfirmed change of m_bAbove, or -1
    float m_fExtreme = 0.0f;
};

} // namespace cw
