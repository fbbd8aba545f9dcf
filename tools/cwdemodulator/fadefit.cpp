#include "tools/cwdemodulator/fadefit.h"

#include "tools/morsedsp/dspconstants.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace cw {

namespace {

/// Fewer peaks than this are not fitted: three parameters and many periods find a pattern in
/// any two or three points. At 15 WPM the peaks clear of the noise come three or four a second
/// (fading 20 dB at 2 Hz, +6 dB, 15 WPM, `--seed 1 / 2 / 3`: 27.7 / 16.0 / 28.6 % at 6,
/// 27.9 / 17.0 / 28.4 at 8, 30.4 / 17.5 / 31.5 at 12, 52 / 35 / 44 at 16).
constexpr size_t LEAST_PEAKS = 6;
/// The fit speaks where it explains this share of the peaks' spread.
constexpr double STRONG_SHARE = 0.6;
/// And where its top is this many times its bottom (a steady signal's peaks barely move).
constexpr double DEEPEST_OVER_TOP = 3.0;
/// The sinusoid in the level itself is kept over this share of the peaks' geometric mean.
constexpr double LEAST_AMPLITUDE_SHARE = 0.05;
/// A period is fitted only where the peaks' phases in it spread round the cycle: the smaller
/// variance of their phase's cosine and sine along any direction is at least this (0.5 for
/// phases spread evenly, 0.095 over half a cycle). Peaks that come at a steady pace (a run of
/// dashes at 15 WPM, one every 0.32 s) share a phase or two in a fade of that period, and a
/// sinusoid of any depth then fits a slow fade's decline across them: the level fell to a
/// thousandth of the marks' on a clean recording (ebook2cw faded at 0.1 Hz, 15 WPM: 9.6 ->
/// 4.0 %; 3.0 at 0.15, which lost the fit of a fade at 2 Hz at the start of a text, 25 WPM,
/// +6 dB, `--seed 3`: 1.1 -> 4.3 %).
constexpr double LEAST_PHASE_SPREAD = 0.1;
/// Periods tried: the fade's phase drifts at most this share of a cycle over the memory
/// between two neighbouring ones.
constexpr double PHASE_STEP = 0.1;

/// The phase at @p nAt of a sinusoid of @p dCycles per sample, from 0 at position 0.
double phaseAt(std::int64_t nAt, double dCycles)
{
    const double turns = double(nAt) * dCycles;
    return dsp::TWO_PI * (turns - std::floor(turns));
}

} // namespace

FadeFit::FadeFit(std::int64_t nShortest, std::int64_t nLongest, std::int64_t nMemory)
    : m_nShortest(std::max<std::int64_t>(1, nShortest)),
      m_nLongest(std::max(m_nShortest, nLongest)), m_nMemory(nMemory)
{
    if (m_nMemory <= 0)
        return;
    const double step = PHASE_STEP / double(m_nMemory);
    for (double cycles = 1.0 / double(m_nLongest); cycles <= 1.0 / double(m_nShortest);
         cycles += step)
        m_rates.push_back(cycles);
}

void FadeFit::Push(std::int64_t nAt, float fLevel)
{
    if (add(nAt, fLevel))
        refit();
}

void FadeFit::PushAll(const std::vector<MarkPeak>& peaks, std::int64_t nDelay)
{
    // Each fit starts afresh from the peaks kept, so the last one alone is the same.
    bool added = false;
    for (const MarkPeak& peak : peaks)
        added = add(peak.nAt + nDelay, peak.fLevel) || added;
    if (added)
        refit();
}

bool FadeFit::add(std::int64_t nAt, float fLevel)
{
    if (fLevel <= 0.0f || m_nMemory <= 0)
        return false;
    Peak peak{nAt, std::log(double(fLevel)), double(fLevel),
              std::vector<double>(2 * m_rates.size())};
    for (size_t rate = 0; rate < m_rates.size(); ++rate) {
        const double phase = phaseAt(nAt, m_rates[rate]);
        peak.cosSin[2 * rate] = std::cos(phase);
        peak.cosSin[2 * rate + 1] = std::sin(phase);
    }
    m_peaks.push_back(std::move(peak));
    while (m_peaks.front().nAt < nAt - m_nMemory)
        m_peaks.pop_front();
    return true;
}

float FadeFit::LevelAt(std::int64_t nAt) const
{
    if (m_nPeriod <= 0)
        return 0.0f;
    const double phase = phaseAt(nAt, m_dCycles);
    return float(
        std::exp(m_best.dMean + m_best.dCos * std::cos(phase) + m_best.dSin * std::sin(phase)));
}

float FadeFit::AmplitudeAt(std::int64_t nAt) const
{
    if (m_nPeriod <= 0)
        return 0.0f;
    const double phase = phaseAt(nAt, m_dCycles);
    const double level =
        m_amplitude.dMean + m_amplitude.dCos * std::cos(phase) + m_amplitude.dSin * std::sin(phase);
    // A sinusoid deeper than the peaks' own swing crosses zero; no fade goes that deep.
    return float(std::max(level, LEAST_AMPLITUDE_SHARE * std::exp(m_best.dMean)));
}

void FadeFit::refit()
{
    m_bStrong = false;
    m_fStrength = 0.0f;
    m_nPeriod = 0;
    m_best = Fit();
    m_amplitude = Fit();
    if (m_peaks.size() < LEAST_PEAKS)
        return;
    double mean = 0.0;
    for (const Peak& peak : m_peaks)
        mean += peak.dLog;
    mean /= double(m_peaks.size());
    double spread = 0.0;
    for (const Peak& peak : m_peaks)
        spread += (peak.dLog - mean) * (peak.dLog - mean);
    if (spread <= 0.0)
        return;
    size_t best = 0;
    for (size_t rate = 0; rate < m_rates.size(); ++rate) {
        const Fit fit = fitAt(rate, &Peak::dLog);
        if (fit.dExplained > m_best.dExplained) {
            m_best = fit;
            best = rate;
            m_dCycles = m_rates[rate];
            m_nPeriod = std::llround(1.0 / m_rates[rate]);
        }
    }
    if (m_nPeriod > 0)
        m_amplitude = fitAt(best, &Peak::dLevel);
    const double explained = m_best.dExplained / spread;
    m_fStrength = float(explained);
    const double swing = std::hypot(m_best.dCos, m_best.dSin);
    m_bStrong = explained >= STRONG_SHARE && 2.0 * swing >= std::log(DEEPEST_OVER_TOP);
}

FadeFit::Fit FadeFit::fitAt(size_t nRate, double Peak::*pValue) const
{
    // Normal equations of value = a + b cos + c sin, about the mean to keep them steady.
    double n = 0, c = 0, s = 0, cc = 0, ss = 0, cs = 0, y = 0, yc = 0, ys = 0;
    for (const Peak& peak : m_peaks) {
        const double co = peak.cosSin[2 * nRate];
        const double si = peak.cosSin[2 * nRate + 1];
        n += 1.0;
        c += co;
        s += si;
        cc += co * co;
        ss += si * si;
        cs += co * si;
        const double value = peak.*pValue;
        y += value;
        yc += value * co;
        ys += value * si;
    }
    // Centred sums: the mean drops out and a 2 x 2 system is left.
    const double ccC = cc - c * c / n;
    const double ssC = ss - s * s / n;
    const double csC = cs - c * s / n;
    const double ycC = yc - y * c / n;
    const double ysC = ys - y * s / n;
    Fit fit;
    // The smaller eigenvalue of the phases' covariance: their spread along its narrowest axis.
    const double spread = 0.5 * (ccC + ssC) - std::hypot(0.5 * (ccC - ssC), csC);
    if (spread < LEAST_PHASE_SPREAD * n)
        return fit;
    const double det = ccC * ssC - csC * csC;
    fit.dCos = (ycC * ssC - ysC * csC) / det;
    fit.dSin = (ysC * ccC - ycC * csC) / det;
    fit.dMean = (y - fit.dCos * c - fit.dSin * s) / n;
    fit.dExplained = fit.dCos * ycC + fit.dSin * ysC;
    return fit;
}

} // namespace cw
