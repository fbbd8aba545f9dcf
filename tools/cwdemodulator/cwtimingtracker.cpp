#include "tools/cwdemodulator/cwtimingtracker.h"

#include "tools/cwdemodulator/cwsymbol.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

// Decision points, in element lengths (units). Hand-sent timing with 20 % jitter keeps
// dots below 1.2, dashes above 2.4, character gaps within 2.4..3.6 and word gaps above 5.6.
constexpr double SHORT_DOT_UNITS = 0.6;    ///< shorter dots are reported
constexpr double SHORT_PAUSE_UNITS = 0.45; ///< shorter pauses are reported
constexpr double SPACE_SETTLE_UNITS = 1.2; ///< the matched filter has left the last mark
constexpr double DASH_UNITS = 2.0;         ///< marks from here on are dashes
constexpr double TOO_LONG_UNITS = 5.0;     ///< longer dashes are reported
constexpr double CHARACTER_UNITS = 2.0;    ///< silence that ends a character

constexpr float DOT_PEAK_SHARE = 0.95f; ///< a dot's peak overstates the level by the noise
constexpr double MARK_UNIT_WEIGHT = 0.12;
constexpr double GAP_UNIT_WEIGHT = 0.06;
constexpr double LOG_3 = 1.0986122886681098;
constexpr double LOG_7 = 1.9459101090932196;

} // namespace

CwTimingTracker::CwTimingTracker(const Settings& settings, IListener* pListener)
    : m_settings(settings), m_pListener(pListener),
      // Long enough for the longest dash that still counts as one.
      m_history((TOO_LONG_UNITS + 1.0) * settings.dMaxUnit)
{
    if (m_settings.bRunsOnly)
        m_settings.bAdapt = false;
}

void CwTimingTracker::Start(double dUnit, float fMarkLevel, float fSpaceLevel, qint64 nPosition,
                            bool bCoherent)
{
    m_threshold.Start(fMarkLevel, fSpaceLevel, bCoherent);
    m_dUnit = std::clamp(dUnit, m_settings.dMinUnit, m_settings.dMaxUnit);
    m_nPosition = nPosition;
    m_wordGap.Restart();
    m_bOn = false;
    m_nRunStart = nPosition;
    m_fPeak = 0.0f;
    m_bHaveMark = false;
    m_bCharOpen = false;
    m_bWordOpen = false;
    m_bLineOpen = false;
    m_bLineEnded = false;
    m_recentRuns.Clear();
}

void CwTimingTracker::Push(float fEnvelope)
{
    const qint64 n = m_nPosition++;
    m_history.Store(n, fEnvelope);
    const bool above = m_threshold.Compare(n, fEnvelope, m_bOn);
    if (m_bOn) {
        m_fPeak = std::max(m_fPeak, fEnvelope);
    } else if (m_settings.bAdapt && !m_threshold.IsCoherent() && !above &&
               !m_threshold.HasPendingEdge() &&
               double(n - m_nRunStart) > SPACE_SETTLE_UNITS * m_dUnit) {
        // The magnitude's noise level, from the part of longer gaps where the matched
        // filter no longer sees the last mark. (In phase, the noise averages to zero and
        // needs no tracking.)
        m_threshold.FollowSpace(fEnvelope, m_dUnit);
    }
    const qint64 edge = m_threshold.TakeConfirmedEdge(n, m_bOn, m_dUnit);
    if (edge >= 0)
        confirmEdge(edge);
    if (!m_bOn && !m_settings.bRunsOnly)
        checkGap(m_threshold.HasPendingEdge() ? m_threshold.PendingEdge() : n + 1);
}

void CwTimingTracker::PushAll(const float* pEnvelope, size_t nCount)
{
    if (!m_settings.bRunsOnly) {
        for (size_t i = 0; i < nCount; ++i)
            Push(pEnvelope[i]);
        return;
    }
    // Push() for runs only (neither the levels followed nor the gaps judged), with what
    // changes per sample in locals: the envelope stored into the history is a float, as
    // are the tracker's levels, so the members would be reloaded at every sample. They are
    // handed back to the members around each confirmed edge, the one place that reads them.
    KeyingThreshold threshold = m_threshold;
    qint64 position = m_nPosition;
    bool on = m_bOn;
    float peak = m_fPeak;
    double unit = m_dUnit;
    auto handBack = [&] {
        m_threshold = threshold;
        m_nPosition = position;
        m_bOn = on;
        m_fPeak = peak;
    };
    for (size_t i = 0; i < nCount; ++i) {
        if (!threshold.HasPendingEdge()) {
            // Until the envelope crosses the threshold, a sample is stored and a mark's peak
            // followed, no more: Compare() would leave the threshold as it is.
            const float at = threshold.Threshold();
            const bool above = threshold.IsAbove();
            for (; i < nCount && (pEnvelope[i] > at) == above; ++i) {
                m_history.Store(position++, pEnvelope[i]);
                if (on)
                    peak = std::max(peak, pEnvelope[i]);
            }
            if (i == nCount)
                break;
        }
        const float envelope = pEnvelope[i];
        const qint64 n = position++;
        m_history.Store(n, envelope);
        threshold.Compare(n, envelope, on);
        if (on)
            peak = std::max(peak, envelope);
        const qint64 edge = threshold.TakeConfirmedEdge(n, on, unit);
        if (edge < 0)
            continue;
        handBack();
        confirmEdge(edge);
        threshold = m_threshold;
        on = m_bOn;
        peak = m_fPeak;
        unit = m_dUnit;
    }
    handBack();
}

void CwTimingTracker::SetUnit(double dUnit)
{
    m_dUnit = std::clamp(dUnit, m_settings.dMinUnit, m_settings.dMaxUnit);
}

void CwTimingTracker::PushSegment(const CwSegmenter::Segment& segment)
{
    const qint64 end = segment.nStart + segment.nLength;
    m_pSegment = &segment;
    if (segment.bOn) {
        if (!m_bOn)
            startMark(segment.nStart);
        m_fSegmentLevel = std::max(0.0f, segment.fLevel);
        m_fPeak = m_fSegmentLevel;
        endMark(end);
        m_fSegmentLevel = -1.0f;
    } else if (!m_bOn && !m_settings.bRunsOnly) {
        checkGap(end);
    }
    m_pSegment = nullptr;
    m_nPosition = std::max(m_nPosition, end);
}

void CwTimingTracker::Finish()
{
    if (m_bOn)
        endMark(m_nPosition);
    if (m_settings.bRunsOnly)
        return;
    const qint64 end = m_nPosition;
    if (m_bCharOpen)
        deliver(morse::SYMBOL_END_OF_CHARACTER, end);
    if (m_bCharOpen || m_bWordOpen)
        deliver(morse::SYMBOL_END_OF_WORD, end);
    if (m_bLineOpen)
        deliver(morse::SYMBOL_END_OF_LINE, end);
    m_bCharOpen = m_bWordOpen = m_bLineOpen = false;
}

void CwTimingTracker::confirmEdge(qint64 nEdge)
{
    if (m_bOn)
        endMark(nEdge);
    else
        startMark(nEdge);
}

void CwTimingTracker::startMark(qint64 nEdge)
{
    const qint64 gap = nEdge - m_nRunStart;
    if (m_settings.bRunsOnly) {
        if (m_bHaveMark && m_pListener)
            m_pListener->OnRun({false, m_nRunStart, gap, 0.0f, 0.0f});
        m_bOn = true;
        m_nRunStart = nEdge;
        m_fPeak = m_threshold.Extreme();
        return;
    }
    checkGap(nEdge);
    if (m_bHaveMark) {
        const double units = double(gap) / m_dUnit;
        if (m_bCharOpen) {
            if (units < SHORT_PAUSE_UNITS)
                deliver(morse::SYMBOL_PAUSE_TOO_SHORT, nEdge);
            adaptUnit(double(gap), GAP_UNIT_WEIGHT);
        } else if (units < m_wordGap.WordUnits()) {
            adaptUnit(double(gap) / 3.0, GAP_UNIT_WEIGHT);
        }
        if (!m_bCharOpen)
            m_wordGap.RememberCharacterGap(units);
        m_recentRuns.Remember(false, gap);
        if (m_pListener)
            m_pListener->OnRun({false, m_nRunStart, gap, 0.0f, 0.0f});
    }
    m_bOn = true;
    m_nRunStart = nEdge;
    m_fPeak = m_threshold.Extreme();
}

void CwTimingTracker::endMark(qint64 nEdge)
{
    const qint64 length = nEdge - m_nRunStart;
    const double units = double(length) / m_dUnit;
    const bool dash =
        m_pSegment ? m_pSegment->kind == CwSegmenter::Kind::Dash : units >= DASH_UNITS;
    if (m_settings.bRunsOnly) {
        // Neither symbols nor the speed: the run alone.
    } else if (!dash) {
        if (units < SHORT_DOT_UNITS)
            deliver(morse::SYMBOL_DOT_TOO_SHORT, nEdge);
        deliver(morse::SYMBOL_DOT, nEdge);
        if (units >= SHORT_DOT_UNITS)
            adaptUnit(double(length), MARK_UNIT_WEIGHT);
    } else {
        if (units > TOO_LONG_UNITS)
            deliver(morse::SYMBOL_DASH_TOO_LONG, nEdge);
        deliver(morse::SYMBOL_DASH, nEdge);
        if (units <= TOO_LONG_UNITS)
            adaptUnit(double(length) / 3.0, MARK_UNIT_WEIGHT);
    }
    // The level of a mark is read from a dash's steady middle, where the matched filter
    // covers key-down only; peaks would overstate it by the noise.
    const float level = m_fSegmentLevel >= 0.0f ? m_fSegmentLevel
                        : dash                  ? interiorMean(m_nRunStart, nEdge)
                                                : 0.0f;
    if (m_settings.bAdapt) {
        // Dots help follow fading; their peak overstates the level by the noise a little.
        const float observed = level > 0.0f ? level : DOT_PEAK_SHARE * m_fPeak;
        m_threshold.FollowMark(observed);
    }
    if (m_pListener)
        m_pListener->OnRun({true, m_nRunStart, length, m_fPeak, level});
    if (!m_settings.bRunsOnly) {
        m_recentRuns.Remember(true, length);
        refitUnit();
    }
    m_bOn = false;
    m_bHaveMark = true;
    m_bCharOpen = true;
    m_bWordOpen = false;
    m_bLineOpen = true;
    m_nRunStart = nEdge;
}

void CwTimingTracker::checkGap(qint64 nGapEnd)
{
    const double units = double(nGapEnd - m_nRunStart) / m_dUnit;
    // A segmented gap is known to end its character or not, however long it is; the next
    // mark's start sees the same gap again and must not judge it by length.
    const bool endsCharacter =
        m_pSegment ? m_pSegment->kind == CwSegmenter::Kind::CharacterGap : units >= CHARACTER_UNITS;
    if (m_bCharOpen && endsCharacter) {
        deliver(morse::SYMBOL_END_OF_CHARACTER, m_nRunStart);
        m_bCharOpen = false;
        m_bWordOpen = true;
    }
    if (m_bWordOpen && units >= m_wordGap.WordUnits()) {
        deliver(morse::SYMBOL_END_OF_WORD, m_nRunStart);
        m_bWordOpen = false;
    }
    if (m_bLineOpen && double(nGapEnd - m_nRunStart) >= m_settings.dLineSilence) {
        m_bLineOpen = false;
        m_bLineEnded = true;
        deliver(morse::SYMBOL_END_OF_LINE, nGapEnd);
    }
}

void CwTimingTracker::PresetCharacterGaps(const std::vector<double>& units)
{
    m_wordGap.Preset(units);
}

void CwTimingTracker::adaptUnit(double dObserved, double dWeight)
{
    // Outliers (noise-damaged elements) say little about the speed; the clustering of
    // recent marks catches real speed changes.
    const double ratio = dObserved / m_dUnit;
    if (!m_settings.bAdapt || ratio < 0.6 || ratio > 1.6)
        return;
    m_dUnit += dWeight * (dObserved - m_dUnit);
    m_dUnit = std::clamp(m_dUnit, m_settings.dMinUnit, m_settings.dMaxUnit);
}

double CwTimingTracker::Misfit(bool bMark, double dUnits)
{
    const double l = std::log(std::max(dUnits, 1e-9));
    double best = l * l;
    const double three = l - LOG_3;
    best = std::min(best, three * three);
    if (!bMark) {
        const double seven = l - LOG_7;
        best = std::min(best, seven * seven);
    }
    return std::min(best, 1.0);
}

void CwTimingTracker::refitUnit()
{
    // The element length that makes the recent marks and gaps fit Morse timing best, when it
    // fits clearly better than the tracked one: the speed changed (or was lost).
    if (m_settings.bAdapt)
        m_dUnit = m_recentRuns.Refit(m_dUnit, m_settings.dMinUnit, m_settings.dMaxUnit);
}

float CwTimingTracker::interiorMean(qint64 nStart, qint64 nEnd) const
{
    const qint64 margin = qint64(std::ceil(0.6 * m_dUnit));
    return m_history.Mean(nStart + margin, nEnd - margin, m_nPosition);
}

void CwTimingTracker::deliver(int nCode, qint64 nPosition)
{
    if (m_pListener)
        m_pListener->OnSymbol(nCode, nPosition);
}

} // namespace cw
