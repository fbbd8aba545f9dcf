#pragma once

#include "tools/cwdemodulator/fadefit.h"
#include "tools/cwdemodulator/fadeperiodwatch.h"
#include "tools/morsedsp/ringbuffer.h"
#include "tools/morsedsp/runningbest.h"

namespace cw {

/// Follows a level that moves: the tone fading (QSB), or what is left of a receiver's AGC
/// pumping after a crash once AgcRecovery took the gain cuts out. Judges each sample from the
/// stretches on both sides of it, so it runs Delay() samples behind its input.
///
/// - The mark level: the strongest envelope on each side, the lower of the two sides that
///   hold a mark (a fade seen coming is followed at once, a rising level a little late, which
///   costs little). A side holds a mark when its strongest envelope stands clear of the
///   gaps' noise and of a quarter of the level last confirmed, and is not far below the other
///   side's (an edge). Where no side holds one, a gap keeps the level both sides last agreed
///   on, so that it does not look like a deep fade and its noise does not look like weak
///   marks. The level rises a limited share per reach, so that what is left of a crash does
///   not lift it.
/// - The reach: where the level is known to move and the fade's period, measured on the
///   marks' peaks (their turns where a sinusoid fits them too, or the fit alone), is short,
///   a shorter one, which follows the fade down to its bottoms. A fast fade the fit finds
///   shows the level moving.
/// - The fit of a fast fade: where it speaks, a gap or a bottom takes its level, and no level
///   goes far above it, across the bottoms that fall in gaps or split a dash.
///
/// Life: create, Push() per sample; Level() then speaks for the sample Delay() back.
class LocalMarkLevel
{
public:
    /// Elements on each side of a sample its mark level is judged from: short enough to follow
    /// a fade within a word (tried 2 to 6; longer reaches lag behind fast fades).
    static constexpr double REACH_UNITS = 2.0;
    /// Nor longer than this, in seconds: at slow speeds two elements lag behind a fade of 2 Hz,
    /// whose bottom comes every half second (fading 20 dB at 2 Hz, +6 dB, 15 WPM: 109 % at two
    /// elements, 70 % at 0.12 s, 45 % at 0.1 s, which cost fading at 0.5 Hz 2.5 -> 3.7 %).
    static constexpr double LONGEST_REACH_SEC = 0.12;
    /// The level is judged at least this long behind its input, whatever the reach: the
    /// decisions downstream (the segmenter's, the line's end) were tuned with that lag. The
    /// reach alone, shorter at the faster speeds, moved 18 cells of the fading and noise-floor
    /// tables of both generators by a character or two, 8 better and 10 worse.
    static constexpr double LEAST_DELAY_SEC = 0.1;
    /// Where the level is known to move and its fade comes back within FAST_PERIOD_SEC, the
    /// marks are looked for this many elements on each side, nor longer than
    /// FAST_LONGEST_REACH_SEC: the usual reach lags behind the bottoms of a fast fade.
    static constexpr double FAST_REACH_UNITS = 1.0;
    static constexpr double FAST_LONGEST_REACH_SEC = 0.05;
    /// A receiver's AGC pumping after a crash a second turns nearly as often (at 0.9 s its row
    /// read 1.6 -> 2.2 % at 35 WPM).
    static constexpr double FAST_PERIOD_SEC = 0.8;
    /// A fade the fit finds up to this period counts as fast too where the fit explains this
    /// share of the peaks' spread: a fade of 20 dB at 1 Hz explains 90 % of it and more (the
    /// AGC's pumping once a second gave no fit strong enough for the follower from 60 % on).
    static constexpr double FIT_FAST_PERIOD_SEC = 1.3;
    static constexpr double FIT_FAST_SHARE = 0.85;
    /// Fade periods the marks' peaks are fitted with, and the seconds of peaks fitted.
    static constexpr double FIT_SHORTEST_SEC = 0.3;
    static constexpr double FIT_LONGEST_SEC = 3.0;
    static constexpr double FIT_MEMORY_SEC = 4.0;
    /// A fade the fit finds within these periods, past the fast ones, gives its amplitude too
    /// where the fit explains FIT_FAST_SHARE of the peaks' spread: the memory holds only about
    /// two of its periods, and the level followed scatters at its bottoms as at a fast fade's
    /// (fading 20 dB at 0.5 Hz, +6 dB, 15 / 25 / 35 WPM, `--seed 1 / 2 / 3`: 42.3 % summed
    /// before, 36.0 so). From 1.6 s: with no lower bound, fading at 1 Hz read 28.2 -> 28.5 %
    /// summed the same way.
    static constexpr double FIT_AMPLITUDE_SHORTEST_SEC = 1.6;
    static constexpr double FIT_AMPLITUDE_LONGEST_SEC = 2.5;

    /// Samples looked at on each side of the judged sample.
    struct Reaches
    {
        int nMarks = 1;               ///< for marks
        int nFastMarks = 0;           ///< for marks in a fast fade; 0: no shorter reach
        long long nFastPeriod = 0;    ///< the longest fade period that counts as fast
        long long nFitFastPeriod = 0; ///< the same for a fade the fit finds well
        long long nFitShortest = 0;   ///< the shortest fade period fitted
        long long nFitLongest = 0;    ///< the longest
        long long nFitMemory = 0;     ///< of peaks fitted; 0: no fit
        /// Periods past the fast ones whose fit gives its amplitude; 0: none.
        long long nFitAmplitudeShortest = 0;
        long long nFitAmplitudeLongest = 0;
        int nLeastDelay = 0; ///< the fewest samples the level is judged behind its input
        /// At an element length of @p dUnit samples.
        static Reaches For(double dUnit, double dSampleRate);
    };

    /// @p reaches: each at least 1 but the fast one; @p fInitialLevel: the mark level known
    /// before the first sample; @p bKnownToMove: the level was seen moving already, weaker
    /// marks set it.
    LocalMarkLevel(const Reaches& reaches, float fInitialLevel, bool bKnownToMove = false);

    /// The level was seen moving: from here weaker marks set it.
    void SetKnownToMove();
    /// Whether the level was seen moving, or the marks' peaks showed a fast fade.
    bool KnownToMove() const { return m_bKnownToMove; }
    /// Whether the marks' peaks show a fade whose period is within the fit's reach (a few
    /// seconds at most), as of the sample Delay() back.
    bool FadePeriodFound() const;
    /// Before the first sample: the fade's fit starts from @p peaks of marks still to come,
    /// whose positions come @p nDelay samples later among the samples pushed (counted from the
    /// first), and takes no peak of its own up to the last of them (the same marks, seen again).
    void StartFitFrom(const std::vector<FadeFit::MarkPeak>& peaks, std::int64_t nDelay);
    /// Adds the newest sample's envelope (the matched filter's magnitude).
    void Push(float fMagnitude);
    /// The level of the marks around the sample Delay() back.
    float Level() const;
    /// The level the fit of a fast fade gives the sample Delay() back, in the level itself (a
    /// sinusoid in amplitude, as Level() reads it), where the fit spans a few of its periods
    /// and its last peak came within a few of them; 0 elsewhere.
    float FittedAmplitude() const;
    /// Share of the marks' peaks' spread (log level) the fade's fit explains; 0 before a fit.
    float FitStrength() const { return m_fit.Strength(); }
    int Delay() const { return m_nDelay; }

private:
    /// The strongest envelope of the window ending @p nAgo samples back.
    float aheadMax(int nAgo) const { return m_samples.FromNewest(size_t(nAgo)).fAheadMax; }
    float fastAheadMax(int nAgo) const { return m_samples.FromNewest(size_t(nAgo)).fFastAheadMax; }
    /// Position of the judged sample, counted from the first pushed.
    long long judgedPosition() const { return m_nPushed - 1 - m_nDelay; }
    /// Whether the judged sample lies in a fade that comes and goes within the fast period.
    bool inFastFade() const;
    /// Whether the fit found a fast fade: one within the fast period, or a longer one it
    /// explains well.
    bool fitFindsFastFade() const;
    /// Whether the fit's period and span let its amplitude speak.
    bool fitGivesAmplitude() const;
    /// Whether the fit's last peak came within @p dPeriods of its periods before the judged
    /// sample.
    bool fitPeakWithin(double dPeriods) const;
    /// The level the fade's fit gives the judged sample where it found a fast fade whose peaks
    /// came of late; 0 elsewhere.
    float fittedLevel() const;
    /// Hands the judged sample to the fade's watch and fit if it is a mark's peak; a fast fade
    /// the fit finds shows a level that moves.
    void watchPeak(float fJudged, float fMarkPower);
    void updateLevel();

    /// The strongest envelope over a reach, and how fast the level may rise judged from it.
    struct MarkWindow
    {
        /// @p nSamples on each side (at least 1).
        explicit MarkWindow(int nSamples);
        /// Adds sample @p nAt; the samples out of reach leave.
        void Add(long long nAt, float fMagnitude);

        int nReach;
        float fRise; ///< largest rise of the level per sample
        dsp::RunningBest<float> run;
    };

    float m_fMarkOverNoise; ///< power over the gaps' noise that a side's mark needs
    MarkWindow m_usual;
    MarkWindow m_fast; ///< in a fast fade; as long as the usual where there is no shorter one
    /// The longest fade periods that count as fast: measured, and fitted well.
    struct FastPeriods
    {
        long long nMeasured;
        long long nFitted;
    } m_fastPeriods;
    /// Periods past those whose fit gives its amplitude from a single period's peaks.
    struct AmplitudePeriods
    {
        long long nShortest;
        long long nLongest;
    } m_amplitudePeriods;
    int m_nDelay;
    long long m_nPushed = 0;       ///< samples so far
    long long m_nFittedUntil = -1; ///< the last peak the fit started from
    float m_fLevel;                ///< of the marks around the judged sample
    float m_fConfirmed;            ///< the level both sides last agreed on
    float m_fEnvelopeNoise = 0.0f; ///< mean envelope power of the gaps
    float m_fGapSamples = 0.0f;    ///< gap samples it is the mean of, up to its memory
    bool m_bKnownToMove;
    /// What is kept of each of the latest samples.
    struct Sample
    {
        float fMagnitude;    ///< its envelope
        float fAheadMax;     ///< strongest envelope of the window ending at it
        float fFastAheadMax; ///< the same over the fast fade's reach
    };
    dsp::RingBuffer<Sample> m_samples; ///< both sides of the judged sample and more
    FadePeriodWatch m_fade;            ///< the marks' peaks, judged samples
    FadeFit m_fit;                     ///< the same peaks
};

} // namespace cw
