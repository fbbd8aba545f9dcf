#include "tools/cwdemodulator/cwtimingtracker.h"

#include "tools/cwdemodulator/cwsymbol.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cw {

namespace {

// Decision points, in element lengths (units). Hand-sent timing with 20 % jitter keeps
// dots below 1.2, dashes above 2.4, character gaps within 2.4..3.6 and word gaps above 5.6.
constexpr double MARK_GLITCH_UNITS = 0.4;  ///< shorter marks are noise
constexpr double GAP_GLITCH_UNITS = 0.2;   ///< shorter gaps are noise
constexpr double SHORT_DOT_UNITS = 0.6;    ///< shorter dots are reported
constexpr double SHORT_PAUSE_UNITS = 0.45; ///< shorter pauses are reported
constexpr double SPACE_SETTLE_UNITS = 1.2; ///< the matched filter has left the last mark
constexpr double DASH_UNITS = 2.0;         ///< marks from here on are dashes
constexpr double TOO_LONG_UNITS = 5.0;     ///< longer dashes are reported
constexpr double CHARACTER_UNITS = 2.0;    ///< silence that ends a character
constexpr double WORD_UNITS = 4.6;         ///< silence that ends a word, at least
/// A word gap is this many times a character gap or longer (the geometric middle of 3 and 7).
constexpr double WORD_OVER_CHARACTER = 1.53;
/// The share of recent character-ending gaps shorter than the typical character gap: most
/// of them end characters, not words.
constexpr double CHARACTER_GAP_RANK = 0.4;
/// Character-ending gaps needed before word gaps are judged against them: one alone may be
/// a word gap (a text opening "1 87 6" lost its spaces).
constexpr int CHARACTER_GAPS_NEEDED = 2;
constexpr double LONGEST_SPACING_UNITS = 60.0; ///< longer gaps are pauses, not spacing
/// A lone character-ending gap this long is no word gap of ordinary spacing (7 elements and
/// a fifth more for a hand's jitter): Farnsworth spacing, trusted alone.
constexpr double LONE_SPACING_UNITS = 9.0;
constexpr double LEVEL_OVERRIDE_UNITS = 1.5; ///< a change lasting this long counts anyway

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

constexpr float MARK_WEIGHT = 0.4f;     ///< share of each mark in the mark level (fading)
constexpr float DOT_PEAK_SHARE = 0.95f; ///< a dot's peak overstates the level by the noise
constexpr double MARK_UNIT_WEIGHT = 0.12;
constexpr double GAP_UNIT_WEIGHT = 0.06;
constexpr double LOG_2 = 0.69314718055994531;
constexpr double LOG_3 = 1.0986122886681098;
constexpr double LOG_7 = 1.9459101090932196;
constexpr double LOG_10 = 2.3025850929940457;
constexpr int REFIT_MIN_RUNS = 12;
constexpr double REFIT_REACH = 1.0; ///< log range searched around the tracked length
constexpr double REFIT_STEP = 0.04;
constexpr double REFIT_JUMP = 0.22; ///< log difference that counts as a speed change
constexpr double REFIT_GAIN = 0.6;  ///< the new length must cut the misfit by this much

} // namespace

CwTimingTracker::CwTimingTracker(const Settings& settings, IListener* pListener)
    : m_settings(settings), m_pListener(pListener)
{
    // Long enough for the longest dash that still counts as one.
    size_t size = 64;
    while (double(size) < (TOO_LONG_UNITS + 1.0) * settings.dMaxUnit && size < (1u << 20))
        size *= 2;
    m_history.assign(size, 0.0f);
    m_nHistoryMask = size - 1;
}

void CwTimingTracker::Start(double dUnit, float fMarkLevel, float fSpaceLevel, qint64 nPosition,
                            bool bCoherent)
{
    // Magnitude noise is skewed upward (Rayleigh), so a mark has to stand out further.
    m_bCoherent = bCoherent;
    m_fHigh = bCoherent ? COHERENT_HIGH : HIGH_THRESHOLD;
    m_fLow = bCoherent ? COHERENT_LOW : LOW_THRESHOLD;
    m_fPeakShare = bCoherent ? COHERENT_PEAK : PEAK_LEVEL;
    m_fDipShare = bCoherent ? COHERENT_DIP : DIP_LEVEL;
    m_dUnit = std::clamp(dUnit, m_settings.dMinUnit, m_settings.dMaxUnit);
    m_fMark = fMarkLevel;
    m_fSpace = std::min(fSpaceLevel, fMarkLevel);
    m_nPosition = nPosition;
    m_nCharacterGapCount = 0;
    m_dWordUnits = WORD_UNITS;
    m_bRaw = false;
    m_bOn = false;
    m_nRunStart = nPosition;
    m_nPendingEdge = -1;
    m_fExtreme = 0.0f;
    m_fPeak = 0.0f;
    m_bHaveMark = false;
    m_bCharOpen = false;
    m_bWordOpen = false;
    m_bLineOpen = false;
    m_bLineEnded = false;
    m_nRecentCount = 0;
    m_nRecentNext = 0;
}

void CwTimingTracker::Push(float fEnvelope)
{
    const qint64 n = m_nPosition++;
    m_history[size_t(n) & m_nHistoryMask] = fEnvelope;
    const float span = std::max(m_fMark - m_fSpace, 1e-12f);
    const bool raw = fEnvelope > m_fSpace + span * (m_bRaw ? m_fLow : m_fHigh);
    if (raw != m_bRaw) {
        m_bRaw = raw;
        m_nPendingEdge = raw == m_bOn ? -1 : n;
        m_fExtreme = fEnvelope;
    }
    if (m_nPendingEdge >= 0)
        m_fExtreme = m_bOn ? std::min(m_fExtreme, fEnvelope) : std::max(m_fExtreme, fEnvelope);
    if (m_bOn) {
        m_fPeak = std::max(m_fPeak, fEnvelope);
    } else if (m_settings.bAdapt && !m_bCoherent && !raw && m_nPendingEdge < 0 &&
               double(n - m_nRunStart) > SPACE_SETTLE_UNITS * m_dUnit) {
        // The magnitude's noise level, from the part of longer gaps where the matched
        // filter no longer sees the last mark, averaged over about four elements. (In phase,
        // the noise averages to zero and needs no tracking.)
        m_fSpace += (fEnvelope - m_fSpace) / float(4.0 * m_dUnit);
    }

    if (m_nPendingEdge >= 0) {
        // A change counts once it lasted a third of an element and went deep enough: a
        // mark must rise well above the threshold, a gap must fall close to the noise.
        // Durations still come from the threshold crossings.
        const double lasted = double(n + 1 - m_nPendingEdge);
        const bool deepEnough = m_bOn ? m_fExtreme <= m_fSpace + span * m_fDipShare
                                      : m_fExtreme >= m_fSpace + span * m_fPeakShare;
        const double glitch = m_bOn ? GAP_GLITCH_UNITS : MARK_GLITCH_UNITS;
        if (lasted >= std::max(1.0, glitch * m_dUnit) &&
            (deepEnough || lasted >= LEVEL_OVERRIDE_UNITS * m_dUnit)) {
            const qint64 edge = m_nPendingEdge;
            m_nPendingEdge = -1;
            confirmEdge(edge);
        }
    }
    if (!m_bOn)
        checkGap(m_nPendingEdge >= 0 ? m_nPendingEdge : n + 1);
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
    } else if (!m_bOn) {
        checkGap(end);
    }
    m_pSegment = nullptr;
    m_nPosition = std::max(m_nPosition, end);
}

void CwTimingTracker::Finish()
{
    if (m_bOn)
        endMark(m_nPosition);
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
    checkGap(nEdge);
    const qint64 gap = nEdge - m_nRunStart;
    if (m_bHaveMark) {
        const double units = double(gap) / m_dUnit;
        if (m_bCharOpen) {
            if (units < SHORT_PAUSE_UNITS)
                deliver(morse::SYMBOL_PAUSE_TOO_SHORT, nEdge);
            adaptUnit(double(gap), GAP_UNIT_WEIGHT);
        } else if (units < m_dWordUnits) {
            adaptUnit(double(gap) / 3.0, GAP_UNIT_WEIGHT);
        }
        if (!m_bCharOpen)
            rememberCharacterGap(units);
        rememberRun(false, gap);
        if (m_pListener)
            m_pListener->OnRun({false, m_nRunStart, gap, 0.0f, 0.0f});
    }
    m_bOn = true;
    m_nRunStart = nEdge;
    m_fPeak = m_fExtreme;
}

void CwTimingTracker::endMark(qint64 nEdge)
{
    const qint64 length = nEdge - m_nRunStart;
    const double units = double(length) / m_dUnit;
    const bool dash =
        m_pSegment ? m_pSegment->kind == CwSegmenter::Kind::Dash : units >= DASH_UNITS;
    if (!dash) {
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
        m_fMark += MARK_WEIGHT * (observed - m_fMark);
    }
    if (m_pListener)
        m_pListener->OnRun({true, m_nRunStart, length, m_fPeak, level});
    rememberRun(true, length);
    refitUnit();
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
    if (m_bWordOpen && units >= m_dWordUnits) {
        deliver(morse::SYMBOL_END_OF_WORD, m_nRunStart);
        m_bWordOpen = false;
    }
    if (m_bLineOpen && double(nGapEnd - m_nRunStart) >= m_settings.dLineSilence) {
        m_bLineOpen = false;
        m_bLineEnded = true;
        deliver(morse::SYMBOL_END_OF_LINE, nGapEnd);
    }
}

void CwTimingTracker::rememberCharacterGap(double dUnits)
{
    // Farnsworth spacing sends characters fast with long gaps between them: the gap that
    // ends a word is judged against the character gaps actually sent, not three elements.
    if (dUnits > LONGEST_SPACING_UNITS)
        return;
    m_characterGaps[size_t(m_nCharacterGapNext)] = dUnits;
    m_nCharacterGapNext = (m_nCharacterGapNext + 1) % int(m_characterGaps.size());
    m_nCharacterGapCount = std::min(m_nCharacterGapCount + 1, int(m_characterGaps.size()));
    judgeWordGaps(m_characterGaps, m_nCharacterGapCount);
}

void CwTimingTracker::PresetCharacterGaps(const std::vector<double>& units)
{
    // Judged like the transmission's own gaps but not kept: the same gaps arrive again when
    // the held samples are decoded, and counted twice, the word gaps of an opening such as
    // "1 87 6" would pass for character gaps. One alone is not enough: at 8 to 12 WPM it is
    // often a word gap (a space lost at +10 dB), unless it is too long for one: Farnsworth's
    // long gaps may leave no more among the held samples (ebook2cw at 15 WPM, "S P").
    std::array<double, 16> gaps{};
    int count = 0;
    for (double gap : units) {
        if (gap <= LONGEST_SPACING_UNITS && count < int(gaps.size()))
            gaps[size_t(count++)] = gap;
    }
    if (count == 1 && gaps[0] >= LONE_SPACING_UNITS) {
        m_dWordUnits = std::max(WORD_UNITS, WORD_OVER_CHARACTER * gaps[0]);
        return;
    }
    judgeWordGaps(gaps, count);
}

void CwTimingTracker::judgeWordGaps(std::array<double, 16> gaps, int nCount)
{
    if (nCount < CHARACTER_GAPS_NEEDED)
        return;
    // Among few gaps the rank is the shortest: those that end words are always a share.
    const auto rank = gaps.begin() + std::ptrdiff_t(CHARACTER_GAP_RANK * (nCount - 1));
    std::nth_element(gaps.begin(), rank, gaps.begin() + nCount);
    m_dWordUnits = std::max(WORD_UNITS, WORD_OVER_CHARACTER * *rank);
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

void CwTimingTracker::rememberRun(bool bMark, qint64 nLength)
{
    m_recent[size_t(m_nRecentNext)] = {bMark,
                                       float(std::log(double(std::max<qint64>(1, nLength))))};
    m_nRecentNext = (m_nRecentNext + 1) % int(m_recent.size());
    m_nRecentCount = std::min(m_nRecentCount + 1, int(m_recent.size()));
}

void CwTimingTracker::refitUnit()
{
    // The element length that makes the recent marks and gaps fit Morse timing best. When it
    // fits clearly better than the tracked one and differs a lot, the speed changed (or was
    // lost): take it at once instead of creeping towards it.
    if (!m_settings.bAdapt || m_nRecentCount < REFIT_MIN_RUNS)
        return;
    // A record of one kind of mark fits a third (or three times) the speed as well as the
    // true one ("EEE" and "TTT"); only a record with dots and dashes can tell.
    // Every run adds a share of at least 0, so a length whose sum reaches @p dBound on the way
    // cannot fit better than the one that set it: the sum stops there.
    auto cost = [&](double logUnit, double dBound, bool& bMixed) {
        double sum = 0.0;
        int marks = 0;
        int dots = 0;
        for (int i = 0; i < m_nRecentCount; ++i) {
            const RecentRun& run = m_recent[size_t(i)];
            const double l = double(run.fLogLength) - logUnit;
            if (!run.bMark && l > LOG_10)
                continue; // a pause between words or transmissions
            double best = std::min(l * l, (l - LOG_3) * (l - LOG_3));
            if (!run.bMark)
                best = std::min(best, (l - LOG_7) * (l - LOG_7));
            sum += std::min(best, 1.0);
            if (sum >= dBound) {
                bMixed = false;
                return sum;
            }
            if (run.bMark) {
                ++marks;
                dots += l < LOG_2 ? 1 : 0;
            }
        }
        bMixed = dots > 0 && dots < marks;
        return sum;
    };
    const double logUnit = std::log(m_dUnit);
    bool mixed = false;
    const double current = cost(logUnit, std::numeric_limits<double>::infinity(), mixed);
    double bestLog = logUnit;
    double best = current;
    const double lowest = std::max(logUnit - REFIT_REACH, std::log(m_settings.dMinUnit));
    const double highest = std::min(logUnit + REFIT_REACH, std::log(m_settings.dMaxUnit));
    for (double candidate = lowest; candidate <= highest; candidate += REFIT_STEP) {
        const double c = cost(candidate, best, mixed);
        if (mixed && c < best) {
            best = c;
            bestLog = candidate;
        }
    }
    if (std::abs(bestLog - logUnit) > REFIT_JUMP && best < REFIT_GAIN * current)
        m_dUnit = std::clamp(std::exp(bestLog), m_settings.dMinUnit, m_settings.dMaxUnit);
}

float CwTimingTracker::interiorMean(qint64 nStart, qint64 nEnd) const
{
    const qint64 margin = qint64(std::ceil(0.6 * m_dUnit));
    const qint64 first = std::max(nStart + margin, m_nPosition - qint64(m_history.size()));
    const qint64 last = nEnd - margin;
    if (last <= first)
        return 0.0f;
    double sum = 0.0;
    for (qint64 i = first; i < last; ++i)
        sum += m_history[size_t(i) & m_nHistoryMask];
    return float(sum / double(last - first));
}

void CwTimingTracker::deliver(int nCode, qint64 nPosition)
{
    if (m_pListener)
        m_pListener->OnSymbol(nCode, nPosition);
}

} // namespace cw
