#include "tools/cwdemodulator/heldlevelswing.h"

#include "tools/cwdemodulator/envelopedetector.h"
#include "tools/cwdemodulator/fadefit.h"
#include "tools/cwdemodulator/localmarklevel.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace cw {

namespace {

/// A peak of the envelope is a mark when it stands this far (amplitude) over the envelope's
/// noise: noise alone does not get there within the held seconds.
constexpr float MARK_OVER_NOISE = 5.0f;
/// Marks under this share of the strongest are weak.
constexpr float WEAK_SHARE = 0.5f;
/// The strongest marks are the ones at this rank from the top (a share of them): a burst of
/// noise on one mark does not set the scale.
constexpr double TOP_RANK = 0.1;
/// The level swung when at least this share of the marks, and this many, are weak: a fade of
/// 20 dB at 0.5 Hz left 21 to 59 % of them weak, an AGC pumping after crashes 25 to 54 %;
/// steady signals (Farnsworth spacing, drift, chirp, phase restarts, crashes, noise floors)
/// at most 14 %, one mark of seven.
constexpr float SWUNG_WEAK_SHARE = 0.2f;
constexpr long LEAST_WEAK_MARKS = 3;
/// Only marks this far over the noise: nearer the floor their level wanders by itself.
constexpr float TOP_OVER_NOISE = 15.0f;
/// A fast fade fitted to the held marks' peaks shows a swing when they span this many of its
/// periods. Fades up to 1.3 s count: at 1 Hz, 15 WPM, one text in ten was read as E's and T's
/// from start to end where the held seconds did not swing (fading 20 dB at 1 Hz, +6 dB,
/// 15 WPM, `--seed 1 / 2 / 3`: 11.1 / 9.1 / 20.2 % up to 0.8 s, 2.0 / 7.4 / 8.4 up to 1.3 s).
constexpr std::int64_t FIT_PERIODS = 2;
/// And explains this share of their spread: a fade of 20 dB at 2 Hz 0.91 to 0.99 of it, the
/// held peaks of ebook2cw's Farnsworth spacing at 35 WPM up to 0.71 (at 0.6 one text in ten
/// swung and the row read 0 -> 2.7 %).
constexpr float FIT_SHARE = 0.85f;

/// A slower fade, up to the periods whose fit gives the follower its amplitude, shows a swing
/// from a single period of peaks where the fit explains this share of their spread: a
/// transmission that starts at once (ebook2cw's) is acquired from three seconds, a period and
/// a half of a fade at 0.5 Hz, whose fit explained 0.98 of them, and its first bottom was read
/// as a steady level (fading 20 dB at 0.5 Hz on ebook2cw's tones, +6 dB as the mean power,
/// 15 WPM, `--seed 1`: 7.9 -> 6.7 %, at the peak 26.7 -> 15.8 %; at 0.9, 25 WPM lost a character
/// or two). No other table moved.
constexpr float SLOW_FIT_SHARE = 0.95f;

/// Within the follower's fast period, a fit explaining this share shows a swing too where the
/// peaks come at least this many a period: a fade of 20 dB at 2 Hz, 15 WPM, left one text in
/// ten at 0.79 with two peaks a period, and it was read from its start as fragments. A lower
/// share alone let a slow fade's few peaks pass for a fast one (at 0.1 Hz, 0.79 with one peak
/// a period); ebook2cw's Farnsworth spacing stayed under 0.66 within that period.
constexpr float FAST_FIT_SHARE = 0.75f;
constexpr double FAST_PEAKS_PER_PERIOD = 2.0;
/// Any fast fit needs more peaks a period than one: with about one, its period is one alias of
/// many, and a slow fade's first seconds fitted 0.3 s explaining 0.93 of their spread with 1.1
/// (0.1 Hz, clean: the level weighed then swung every few tenths of a second while the tone
/// fell slowly, and K read EA). Fades of 2 Hz at 15 WPM that needed their fit held 1.45 and
/// more; at two a period they were lost (15 WPM, 3.94 -> 7.39 % on ebook2cw's at the peak).
constexpr double ALIAS_PEAKS_PER_PERIOD = 1.3;

/// Peaks that did not swing but that a fast fade's fit explains this well, over MAY_SWING_PERIODS
/// of its periods and with ALIAS_PEAKS_PER_PERIOD, may still be a fade's: of 200 texts faded 20 dB
/// at 2 Hz (15 WPM, the SNR at the peak) seven did not swing, six of them fitting 0.79 to 0.99, and
/// each read its first word as fragments. The held peaks of steady tones (15 to 35 WPM, -8 to +6
/// dB) fitted up to 0.74, once in 303 acquisitions 0.87. Without the least peaks a period, a clean
/// slow fade's first seconds fitted a fast one by chance and were read anew worse (ebook2cw's, 0.1
/// Hz, 15 WPM: 0.49 -> 1.23 %). Only peaks that stand TOP_OVER_NOISE clear: steady tones near the
/// floor (-12 to -8 dB) fitted so with their top 6 to 12 times the noise, those faded texts' tops
/// stood 37 to 40 times over it.
constexpr float MAY_SWING_FIT_SHARE = 0.75f;
/// Fast fades up to FIT_FAST_PERIOD_SEC, spanned this many times: at 1 Hz and 15 WPM the held
/// peaks of two texts in 200 fitted 1.03 s over 1.5 of its periods, did not swing, and their
/// first words came out as fragments (`VIA PADDLE BAND` read `U EI AIADDLE NEAND`; the cell
/// 1.87 -> 1.69 %). Those of 2 Hz spanned two.
constexpr double MAY_SWING_PERIODS = 1.5;

std::vector<float> matchedEnvelope(const std::vector<std::complex<float>>& inPhase, int nLength)
{
    std::vector<float> envelope(inPhase.size(), 0.0f);
    double sum = 0.0;
    for (size_t i = 0; i < inPhase.size(); ++i) {
        sum += double(inPhase[i].real());
        if (i >= size_t(nLength))
            sum -= double(inPhase[i - size_t(nLength)].real());
        envelope[i] = float(sum / nLength);
    }
    return envelope;
}

/// Whether sample @p n is the highest within @p nReach (at least 1) either side, the first of
/// equals.
bool isPeak(const std::vector<float>& envelope, size_t n, size_t nReach)
{
    const size_t first = n > nReach ? n - nReach : 0;
    const size_t last = std::min(envelope.size() - 1, n + nReach);
    // Most samples lie on a slope: a neighbour settles them before the whole reach is read.
    if ((n > first && envelope[n - 1] >= envelope[n]) ||
        (n < last && envelope[n + 1] > envelope[n]))
        return false;
    for (size_t i = first; i <= last; ++i) {
        if (envelope[i] > envelope[n] || (envelope[i] == envelope[n] && i < n))
            return false;
    }
    return true;
}

/// Whether @p fit of @p nPeaks peaks explains them as a fast fade well (MAY_SWING_FIT_SHARE),
/// however shallow it fitted them.
bool fitsUnseenFastFade(const FadeFit& fit, size_t nPeaks, double dSampleRate)
{
    const std::int64_t period = fit.BestPeriod();
    if (period <= 0 || period > std::llround(LocalMarkLevel::FIT_FAST_PERIOD_SEC * dSampleRate) ||
        double(fit.Span()) < MAY_SWING_PERIODS * double(period))
        return false;
    const double peaksPerPeriod = double(nPeaks) * double(period) / double(fit.Span());
    return peaksPerPeriod >= ALIAS_PEAKS_PER_PERIOD && fit.Strength() >= MAY_SWING_FIT_SHARE;
}

} // namespace

HeldLevelSwing::HeldLevelSwing(const std::vector<std::complex<float>>& inPhase, double dUnit,
                               float fNoiseVariance, double dSampleRate)
{
    const int length = EnvelopeDetector::LengthFor(dUnit);
    if (inPhase.size() <= size_t(length) || fNoiseVariance <= 0.0f)
        return;
    const std::vector<float> envelope = matchedEnvelope(inPhase, length);
    const float noise = std::sqrt(fNoiseVariance / float(length));
    const size_t reach = size_t(std::max(1.0, dUnit));
    std::vector<FadeFit::MarkPeak> fitted;
    // At slow speeds a fast fade leaves few marks per period, and its weak ones drown: their
    // level is fitted instead, period and all.
    FadeFit fit(std::llround(LocalMarkLevel::FIT_SHORTEST_SEC * dSampleRate),
                std::llround(LocalMarkLevel::FIT_LONGEST_SEC * dSampleRate),
                dSampleRate > 0.0 ? std::int64_t(envelope.size()) : 0);
    for (size_t n = size_t(length); n < envelope.size(); ++n) {
        if (envelope[n] > MARK_OVER_NOISE * noise && isPeak(envelope, n, reach)) {
            fitted.push_back({std::int64_t(n), envelope[n]});
            // None of the samples within reach after a peak is one: the peak is in their
            // reach, at least as high and earlier.
            n += reach;
        }
    }
    fit.PushAll(fitted);
    const std::int64_t period = fit.Period();
    const bool fast =
        period > 0 && period <= std::llround(LocalMarkLevel::FAST_PERIOD_SEC * dSampleRate);
    const double peaksPerPeriod =
        fit.Span() > 0 ? double(fitted.size()) * double(period) / double(fit.Span()) : 0.0;
    const bool dense = peaksPerPeriod >= FAST_PEAKS_PER_PERIOD;
    const bool slowButClear =
        period > 0 &&
        period <= std::llround(LocalMarkLevel::FIT_AMPLITUDE_LONGEST_SEC * dSampleRate) &&
        fit.Span() >= period && fit.Strength() >= SLOW_FIT_SHARE;
    m_bSwung =
        slowButClear ||
        (period > 0 && period <= std::llround(LocalMarkLevel::FIT_FAST_PERIOD_SEC * dSampleRate) &&
         fit.Span() >= FIT_PERIODS * period && peaksPerPeriod >= ALIAS_PEAKS_PER_PERIOD &&
         (fit.Strength() >= FIT_SHARE || (fast && dense && fit.Strength() >= FAST_FIT_SHARE)));
    if (m_bSwung) {
        // The follower's fit starts from them, and its amplitude weighs the first seconds
        // replayed: at 1 Hz most of what was lost lay in the first characters, before the
        // follower's own fit (fading 20 dB at 1 Hz, +6 dB, 15 / 25 / 35 WPM summed over
        // `--seed 1 / 2 / 3`: 34.2 -> 29.0 %).
        m_fittedFadePeaks = std::move(fitted);
        return;
    }
    if (fitted.empty())
        return;
    std::vector<float> peaks;
    peaks.reserve(fitted.size());
    for (const FadeFit::MarkPeak& peak : fitted)
        peaks.push_back(peak.fLevel);
    std::sort(peaks.begin(), peaks.end());
    const float top = peaks[size_t(double(peaks.size() - 1) * (1.0 - TOP_RANK))];
    const auto weakEnd = std::lower_bound(peaks.begin(), peaks.end(), WEAK_SHARE * top);
    const long weak = long(weakEnd - peaks.begin());
    const bool topClear = top >= TOP_OVER_NOISE * noise;
    m_bSwung = topClear && weak >= LEAST_WEAK_MARKS &&
               float(weak) >= SWUNG_WEAK_SHARE * float(peaks.size());
    m_bMaySwing = !m_bSwung && topClear && fitsUnseenFastFade(fit, fitted.size(), dSampleRate);
}

} // namespace cw
