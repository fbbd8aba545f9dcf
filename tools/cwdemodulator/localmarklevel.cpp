#include "tools/cwdemodulator/localmarklevel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cw {

namespace {

/// A sample whose envelope is under this share of the level is in a gap: its envelope is noise.
constexpr float GAP_SHARE = 0.3f;
/// The envelope's noise is averaged over this many reaches of gap samples. Read from the
/// samples under a share of the level, it reads low at a fade's bottom; with a short memory it
/// lagged there on the way up, and noise in the word gaps after a slow fade's bottom passed for
/// marks (fading 20 dB at 0.05 Hz, the SNR the mean power, 15 / 25 / 35 WPM, 200 texts each:
/// 0.25 / 0.64 / 2.21 % at 8, 0.17 / 0.50 / 1.72 at 16, 0.14 / 0.50 / 1.60 at 32, 0.59 /
/// 0.89 / 3.79 at 3; the fifteen cells of 0.05 to 2 Hz summed, SNR the peak's: 57.4 % at 8,
/// 56.8 at 16 and 32, though 0.1 Hz at 25 WPM read 3.53 / 3.64 / 3.79 %).
constexpr double NOISE_MEMORY_REACHES = 16.0;
/// A side holds a mark when its strongest envelope has this much more power than the noise's
/// mean: noise alone seldom gets there.
constexpr float MARK_OVER_NOISE = 6.0f;
/// The same where the level is known to move: a weak mark at a fade's bottom then sets the
/// level, and a little noise taken for one costs less than the flank's level kept over the
/// bottom (fading 20 dB at 0.5 Hz, +6 dB, 15 / 25 / 35 WPM: 12.8 / 12.1 / 12.8 % at 6,
/// 8.9 / 8.9 / 10.6 at 4, 7.9 / 7.1 / 9.0 at 3, 9.6 / 7.1 / 8.4 at 2).
constexpr float MOVING_MARK_OVER_NOISE = 3.0f;
/// Nor does a side whose strongest envelope is under this share of the level last confirmed:
/// a fade does not fall that far within a reach, and a neighbour's leakage stays out.
constexpr float FLOOR_SHARE = 0.25f;
/// A side whose strongest envelope stays under this share of the level holds no mark.
constexpr float HOLD_SHARE = 0.5f;
/// The strongest envelope overstates a mark's level by the noise riding on it.
constexpr float PEAK_SHARE = 0.9f;
/// The level rises at most this factor per reach: a fade comes up slower than that.
constexpr double RISE_PER_REACH = 2.0;
/// The marks' level turns at a fade's bottom or top once it came back this factor: a fade of
/// 20 dB does between the few marks of each period at 15 WPM too, the ups and downs of a
/// steady signal's marks do not (fading 20 dB at 2 Hz, +6 dB, 15 / 25 / 35 WPM: 62 / 25 / 17 %
/// at 1.6, 55 / 23 / 17 % at 1.4; at 1.3 the noise at the long bottoms of a fade at 0.05 Hz
/// turned too, 35 WPM 9.2 -> 10.1 %).
constexpr float FADE_TURN = 1.4f;
/// Only peaks with this much more power than the gaps' noise tell the fade's turns: at the long
/// bottom of a slow fade the noise on weaker marks turns too (fading 20 dB at 0.05 Hz, +6 dB,
/// 35 WPM: 10.3 % at 6 or 3, 9.2 % at 10 as without the fast reach).
constexpr float PEAK_OVER_NOISE = 10.0f;
/// The peaks' turns tell a fast fade only where the fit explains this share of the peaks'
/// spread too: at the long bottom of a slow fade the noise on the weak marks turns at a fast
/// fade's pace, where no sinusoid fits them (a fifth of the spread), and the follower then
/// took the level around each sample as it is, which fell to the noise in the gaps (fading
/// 20 dB at 0.05 Hz, 35 WPM, 200 texts: SNR the mean power, 2.21 -> 2.07 % with a noise
/// memory of 8 reaches, the same at 0.3; SNR the peak's, at 16 reaches, 9.24 -> 9.10 %, and
/// 0.1 Hz 6.24 -> 6.18; no other cell of our fades moved).
constexpr float TURNS_FIT_SHARE = 0.5f;
/// A fast fade is followed so long after its last bottom, in fast periods: at 15 WPM a bottom
/// falling in a gap goes unseen, and the fade is still there (fading 20 dB at 2 Hz, +6 dB,
/// 15 WPM, `--seed 1 / 2 / 3`: 55.1 / 39.9 / 44.6 % at 2, 52.1 / 36.5 / 45.4 at 4; with the
/// period the middle span, `--seed 1`: 55.1 % at 2, 52.6 at 4 or 10).
constexpr long long FAST_PERIODS_KEPT = 4;
/// The fit's level is given to the samples up to this share of its period after the last peak:
/// a bottom in a gap comes within it, the noise after the end of a transmission, weighed
/// against the fit's low level, passes for marks further on (fading 20 dB at 2 Hz, +6 dB,
/// 25 WPM, `--seed 1`: a character after the end at a whole period).
constexpr double FIT_KEPT_PERIODS = 0.5;
/// Nor is the level let above this many times the fit's: the flanks' level kept over a
/// bottom makes the marks there look like gaps (fading 20 dB at 2 Hz, +6 dB, 15 / 25 WPM,
/// `--seed 1`: 26.2 / 12.9 % at 1.5, 25.7 / 13.7 at 1.2 with a character more after the end;
/// the fit's level alone, 36 / 28 %, is too coarse a fade's shape: a sinusoid in log level
/// has its bottoms too shallow and its tops too high).
constexpr float FIT_CAP = 1.5f;
/// The fit shows a level that moves only from peaks over this many of its periods: a few
/// noisy peaks near the noise floor fit a fast fade now and then (ebook2cw at -6 dB, 40 WPM,
/// 100 texts, `--seed 2`: 1.02 -> 1.30 % without).
constexpr long long FIT_MOVING_PERIODS = 2;
/// The fit's amplitude speaks up to this many of its periods after its last peak: at 15 WPM
/// a fast fade's peaks come three or four a second, and a gap or a bottom without one lasts
/// more than half a period (fading 20 dB at 2 Hz, +6 dB, 15 WPM, `--seed 1 / 2 / 3`:
/// 3.21 / 2.71 / 6.04 % at half a period, 0.99 / 1.23 / 4.46 at one, 0.99 / 1.23 / 3.41 at two,
/// as at four).
constexpr double AMPLITUDE_KEPT_PERIODS = 2.0;
/// Past the fast period, the short reach is taken only where the usual one spans this share of
/// the fit's period: at 1 Hz the usual reach lags the bottoms at 15 WPM (two elements, 0.12 s)
/// but not at 25 or 35 WPM, where the short one reads worse (fading 20 dB at 1 Hz, +6 dB,
/// 15 / 25 / 35 WPM: 1.5 / 7.6 / 11.1 % with it at every speed, characters after the end,
/// 1.5 / 6.8 / 8.4 % so).
constexpr double LAGGING_REACH_SHARE = 0.1;

} // namespace

LocalMarkLevel::LocalMarkLevel(const Reaches& reaches, float fInitialLevel, bool bKnownToMove)
    : m_fMarkOverNoise(bKnownToMove ? MOVING_MARK_OVER_NOISE : MARK_OVER_NOISE),
      m_usual(reaches.nMarks),
      m_fast(reaches.nFastMarks > 0 ? std::min(m_usual.nReach, reaches.nFastMarks)
                                    : m_usual.nReach),
      m_fastPeriods{reaches.nFastPeriod, std::max(reaches.nFastPeriod, reaches.nFitFastPeriod)},
      m_amplitudePeriods{reaches.nFitAmplitudeShortest, reaches.nFitAmplitudeLongest},
      m_nDelay(std::max(m_usual.nReach, reaches.nLeastDelay)), m_fLevel(fInitialLevel),
      m_fConfirmed(fInitialLevel), m_bKnownToMove(bKnownToMove), m_fade(FADE_TURN),
      m_fit(reaches.nFitShortest, reaches.nFitLongest, reaches.nFitMemory)
{
    const size_t kept = size_t(2 * m_nDelay + 2);
    m_samples.Reset(kept);
}

LocalMarkLevel::MarkWindow::MarkWindow(int nSamples)
    : nReach(std::max(1, nSamples)), fRise(float(std::pow(RISE_PER_REACH, 1.0 / nReach))),
      run(size_t(nReach) + 2)
{
}

void LocalMarkLevel::MarkWindow::Add(long long nAt, float fMagnitude)
{
    run.Add(nAt, fMagnitude);
    run.Expire(nAt - nReach - 1);
}

LocalMarkLevel::Reaches LocalMarkLevel::Reaches::For(double dUnit, double dSampleRate)
{
    Reaches reaches;
    reaches.nMarks =
        int(std::lround(std::min(REACH_UNITS * dUnit, LONGEST_REACH_SEC * dSampleRate)));
    reaches.nLeastDelay = int(std::lround(LEAST_DELAY_SEC * dSampleRate));
    reaches.nFastMarks =
        int(std::lround(std::min(FAST_REACH_UNITS * dUnit, FAST_LONGEST_REACH_SEC * dSampleRate)));
    reaches.nFastPeriod = std::llround(FAST_PERIOD_SEC * dSampleRate);
    reaches.nFitFastPeriod = std::llround(FIT_FAST_PERIOD_SEC * dSampleRate);
    reaches.nFitShortest = std::llround(FIT_SHORTEST_SEC * dSampleRate);
    reaches.nFitLongest = std::llround(FIT_LONGEST_SEC * dSampleRate);
    reaches.nFitMemory = std::llround(FIT_MEMORY_SEC * dSampleRate);
    reaches.nFitAmplitudeShortest = std::llround(FIT_AMPLITUDE_SHORTEST_SEC * dSampleRate);
    reaches.nFitAmplitudeLongest = std::llround(FIT_AMPLITUDE_LONGEST_SEC * dSampleRate);
    return reaches;
}

void LocalMarkLevel::SetKnownToMove()
{
    m_fMarkOverNoise = MOVING_MARK_OVER_NOISE;
    m_bKnownToMove = true;
}

void LocalMarkLevel::StartFitFrom(const std::vector<FadeFit::MarkPeak>& peaks, std::int64_t nDelay)
{
    m_fit.PushAll(peaks, nDelay);
    if (!peaks.empty())
        m_nFittedUntil = peaks.back().nAt + nDelay;
}

float LocalMarkLevel::Level() const
{
    return PEAK_SHARE * m_fLevel;
}

void LocalMarkLevel::Push(float fMagnitude)
{
    const long long n = m_nPushed++;
    m_usual.Add(n, fMagnitude);
    m_fast.Add(n, fMagnitude);
    Sample& sample = m_samples.PushInPlace();
    sample.fMagnitude = fMagnitude;
    sample.fAheadMax = m_usual.run.Best();
    sample.fFastAheadMax = m_fast.run.Best();
    if (n < m_nDelay)
        return;
    updateLevel();
}

bool LocalMarkLevel::fitFindsFastFade() const
{
    const long long period = m_fit.Period();
    return period > 0 && (period <= m_fastPeriods.nMeasured ||
                          (period <= m_fastPeriods.nFitted && m_fit.Strength() >= FIT_FAST_SHARE));
}

bool LocalMarkLevel::FadePeriodFound() const
{
    return m_fit.Period() > 0 || inFastFade();
}

bool LocalMarkLevel::inFastFade() const
{
    if (!m_bKnownToMove || m_fast.nReach == m_usual.nReach)
        return false;
    const long long judgedAt = judgedPosition();
    const long long period = m_fade.Period();
    if (period > 0 && period <= m_fastPeriods.nMeasured &&
        judgedAt - m_fade.LastBottom() <= FAST_PERIODS_KEPT * m_fastPeriods.nMeasured &&
        m_fit.Strength() >= TURNS_FIT_SHARE)
        return true;
    // The fit finds the period also where the bottoms fall in gaps.
    const long long fitted = m_fit.Period();
    const bool lagging = fitted <= m_fastPeriods.nMeasured ||
                         double(m_usual.nReach) >= LAGGING_REACH_SHARE * double(fitted);
    return fitFindsFastFade() && lagging &&
           judgedAt - m_fit.LastPeak() <= FAST_PERIODS_KEPT * m_fastPeriods.nMeasured;
}

float LocalMarkLevel::fittedLevel() const
{
    if (!m_bKnownToMove || !fitFindsFastFade() || !fitPeakWithin(FIT_KEPT_PERIODS))
        return 0.0f;
    return m_fit.LevelAt(judgedPosition());
}

bool LocalMarkLevel::fitPeakWithin(double dPeriods) const
{
    return double(judgedPosition() - m_fit.LastPeak()) <= dPeriods * double(m_fit.Period());
}

bool LocalMarkLevel::fitGivesAmplitude() const
{
    // A fast fit over less than two of its periods may be an arc of a slower fade (fading
    // 20 dB at 0.5 Hz, 35 WPM: fits of 0.5 to 1.3 s explaining 93 to 99 %, `--seed 3`
    // 6.40 -> 6.93 %). Two of a slower fade's periods fill the memory: one is asked there
    // (summed over the row at 0.5 Hz, 36.0 %; 1.5 or 1.9 periods 36.5 / 39.5, a memory of 5
    // or 6 s with one 37.6 / 36.9).
    const long long period = m_fit.Period();
    if (period <= 0)
        return false;
    if (fitFindsFastFade())
        return m_fit.Span() >= FIT_MOVING_PERIODS * period;
    return period >= m_amplitudePeriods.nShortest && period <= m_amplitudePeriods.nLongest &&
           m_fit.Strength() >= FIT_FAST_SHARE && m_fit.Span() >= period;
}

float LocalMarkLevel::FittedAmplitude() const
{
    if (!m_bKnownToMove || !fitGivesAmplitude() || !fitPeakWithin(AMPLITUDE_KEPT_PERIODS))
        return 0.0f;
    return PEAK_SHARE * m_fit.AmplitudeAt(judgedPosition());
}

void LocalMarkLevel::watchPeak(float fJudged, float fMarkPower)
{
    // A peak is the strongest envelope within the fast reach on both sides.
    if (fJudged * fJudged < std::max(fMarkPower, PEAK_OVER_NOISE * m_fEnvelopeNoise) ||
        fJudged < fastAheadMax(m_nDelay - m_fast.nReach) || fJudged < fastAheadMax(m_nDelay))
        return;
    const long long at = judgedPosition();
    if (at > m_nFittedUntil)
        m_fit.Push(at, fJudged);
    if (m_bKnownToMove) {
        m_fade.Push(at, fJudged);
        return;
    }
    // A fade whose period the fit finds within the fast one shows the level moving, where the
    // held seconds did not (fading 20 dB at 2 Hz, +6 dB, 15 / 25 / 35 WPM, `--seed 3`:
    // 28.6 / 21.3 / 9.6 % before, 20.5 / 16.2 / 9.6; one text at 15 WPM was read as E's and
    // T's for its first twelve seconds, until the swing of the tracker's level told).
    if (fitFindsFastFade() && m_fit.Span() >= FIT_MOVING_PERIODS * m_fit.Period())
        SetKnownToMove();
}

void LocalMarkLevel::updateLevel()
{
    // A side that holds a mark is within reach of the other side's strongest: a mark edge or
    // noise is not. The level both sides confirm is the one kept through gaps and pauses;
    // otherwise a mark's edge leaving the window would drag the level down with it.
    const bool fast = inFastFade();
    const float ahead =
        fast ? fastAheadMax(m_nDelay - m_fast.nReach) : aheadMax(m_nDelay - m_usual.nReach);
    const float back = fast ? fastAheadMax(m_nDelay) : aheadMax(m_nDelay);
    // The envelope's noise, from the samples well under the level (a plain mean until the
    // memory fills). Until the first is seen, no side is known to hold a mark.
    const float judged = m_samples.FromNewest(size_t(m_nDelay)).fMagnitude;
    if (judged > 0.0f && judged < GAP_SHARE * m_fLevel) {
        m_fGapSamples =
            std::min(m_fGapSamples + 1.0f, float(NOISE_MEMORY_REACHES * m_usual.nReach));
        m_fEnvelopeNoise += (judged * judged - m_fEnvelopeNoise) / m_fGapSamples;
    }
    const float markPower = m_fGapSamples > 0.0f
                                ? std::max(m_fMarkOverNoise * m_fEnvelopeNoise,
                                           FLOOR_SHARE * FLOOR_SHARE * m_fConfirmed * m_fConfirmed)
                                : std::numeric_limits<float>::max();
    watchPeak(judged, markPower);
    const bool aheadMark = ahead * ahead >= markPower;
    const bool backMark = back * back >= markPower;
    const float larger = std::max(aheadMark ? ahead : 0.0f, backMark ? back : 0.0f);
    const float smaller = std::min(ahead, back);
    float level = larger;
    bool confirmed = false;
    // Where the fit of a fast fade speaks, a gap or a bottom takes the fit's level, not the
    // flanks' one last confirmed: a dash that a bottom splits stays a mark.
    const float fitted = fittedLevel();
    if (!aheadMark && !backMark) {
        level = fitted > 0.0f ? fitted : m_fConfirmed;
    } else if (aheadMark && backMark && smaller >= HOLD_SHARE * larger) {
        level = smaller;
        confirmed = true;
    }
    if (fitted > 0.0f)
        level = std::min(level, FIT_CAP * fitted);
    const float rise = fast ? m_fast.fRise : m_usual.fRise;
    m_fLevel = m_fLevel > 0.0f ? std::min(level, m_fLevel * rise) : level;
    if (confirmed)
        m_fConfirmed = m_fLevel;
}

} // namespace cw
