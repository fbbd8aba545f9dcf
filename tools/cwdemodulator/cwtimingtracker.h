#pragma once

#include "tools/cwdemodulator/cwsegmenter.h"
#include "tools/cwdemodulator/envelopehistory.h"
#include "tools/cwdemodulator/keyingthreshold.h"
#include "tools/cwdemodulator/recentruns.h"
#include "tools/cwdemodulator/wordgapestimate.h"

#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace cw {

/// Turns the envelope of a CW signal into Morse symbol codes. Decides key-down and key-up
/// with an adaptive threshold between the tracked mark and space levels, ignores glitches
/// shorter than a third of an element, classifies marks and gaps by the tracked element
/// length (dots below two units, end of character at two units of silence, end of word at
/// five, end of line after a long silence) and follows the speed from every element. Codes
/// are handed to the listener the moment they are decided.
class CwTimingTracker
{
public:
    struct Run
    {
        bool bMark;
        qint64 nStart;
        qint64 nLength;
        float fPeak;  ///< highest envelope inside a mark
        float fLevel; ///< mean envelope over a dash's steady middle; 0 for other runs
    };

    class IListener
    {
    public:
        virtual ~IListener() = default;
        virtual void OnSymbol(int nCode, qint64 nPosition) = 0;
        /// Every finished mark and every gap that ended with a mark.
        virtual void OnRun(const Run&) {}
    };

    struct Settings
    {
        double dMinUnit = 1.0;        ///< shortest element length, samples (fastest speed)
        double dMaxUnit = 1e9;        ///< longest element length, samples (slowest speed)
        double dLineSilence = 3000.0; ///< silence that ends a line, samples
        bool bAdapt = true;           ///< follow speed and levels; off for trial runs
        /// Trial runs that want the runs only: no symbols, no judging of gaps, no line end,
        /// and (as with bAdapt off) no following of the speed and levels. The runs reported
        /// are those a non-adapting tracker reports.
        bool bRunsOnly = false;
    };

    CwTimingTracker(const Settings& settings, IListener* pListener);

    /// Begins a transmission at sample @p nPosition with an element length and levels.
    /// @p bCoherent: the envelope is the tone's in-phase part, whose noise is Gaussian
    /// around zero, rather than a magnitude.
    void Start(double dUnit, float fMarkLevel, float fSpaceLevel, qint64 nPosition,
               bool bCoherent = false);
    /// The next envelope sample.
    void Push(float fEnvelope);
    /// The next @p nCount envelope samples, each as Push() takes it, in one call (the speed
    /// search's trials run whole envelopes through).
    void PushAll(const float* pEnvelope, size_t nCount);
    /// A key-down or key-up segment decided by CwSegmenter, in place of envelope samples. Its
    /// kind says dot or dash, and whether a gap ends the character; the lengths still decide
    /// word and line ends, the error markers and the speed.
    void PushSegment(const CwSegmenter::Segment& segment);
    /// Gaps (element lengths) that ended characters, for judging word gaps against
    /// (Farnsworth spacing) until the transmission's own gaps are known: found among the
    /// samples held back while the speed was learned, so that the first gap is judged right.
    void PresetCharacterGaps(const std::vector<double>& units);
    /// Sets the element length the classification uses (when not adapting itself).
    void SetUnit(double dUnit);
    /// The input ended: finishes the mark, character, word and line in progress.
    void Finish();

    double Unit() const { return m_dUnit; }
    /// A mark is in progress (confirmed).
    bool IsKeyDown() const { return m_bOn; }
    /// The envelope crossed the threshold, and the edge waits to be confirmed.
    bool HasPendingEdge() const { return m_threshold.HasPendingEdge(); }
    float MarkLevel() const { return m_threshold.MarkLevel(); }
    float SpaceLevel() const { return m_threshold.SpaceLevel(); }
    qint64 Position() const { return m_nPosition; }
    /// True once the silence after the last mark has ended the line.
    bool LineEnded() const { return m_bLineEnded; }
    /// The silence (samples) that ends a line.
    double LineSilence() const { return m_settings.dLineSilence; }

    /// How badly a run of @p dUnits element lengths fits Morse timing (marks 1 or 3, gaps
    /// 1, 3 or 7): the squared log distance to the nearest, at most 1. Shared by the speed
    /// acquisition so both judge timing alike.
    static double Misfit(bool bMark, double dUnits);

private:
    void confirmEdge(qint64 nEdge);
    void endMark(qint64 nEdge);
    void startMark(qint64 nEdge);
    void checkGap(qint64 nGapEnd);
    void adaptUnit(double dObserved, double dWeight);
    void refitUnit();
    float interiorMean(qint64 nStart, qint64 nEnd) const;
    void deliver(int nCode, qint64 nPosition);

    Settings m_settings;
    IListener* m_pListener;
    double m_dUnit = 1.0;
    qint64 m_nPosition = 0;
    KeyingThreshold m_threshold;
    bool m_bOn = false; ///< confirmed key-down
    qint64 m_nRunStart = 0;
    float m_fPeak = 0.0f;
    float m_fSegmentLevel = -1.0f; ///< level of a mark given as a segment; -1 otherwise
    const CwSegmenter::Segment* m_pSegment = nullptr; ///< the segment being classified
    bool m_bHaveMark = false;
    bool m_bCharOpen = false;
    bool m_bWordOpen = false;
    bool m_bLineOpen = false;
    bool m_bLineEnded = false;
    EnvelopeHistory m_history;
    RecentRuns m_recentRuns;
    WordGapEstimate m_wordGap;
};

} // namespace cw
