#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace cw {

/// Fits a fade that comes and goes at a steady pace to the marks' peaks seen of late: for each
/// period in a range, the log level of the peaks against a sinusoid of that period (least
/// squares, the peaks unevenly spaced as the keying leaves them); the period that explains the
/// most of their spread wins. Unlike the turns of the peaks, the fit needs no mark at a bottom:
/// at slow speeds a fast fade's bottoms fall in gaps as often as on marks. A period the peaks
/// do not spread round (they come at its own pace, all on a phase or two) is not fitted.
///
/// Life: create, Push() the peaks in order of position; Period() and LevelAt() then speak for
/// them.
class FadeFit
{
public:
    /// A mark's peak: its level at its position.
    struct MarkPeak
    {
        std::int64_t nAt;
        float fLevel;
    };

    /// Periods from @p nShortest to @p nLongest samples are tried, on the peaks of the last
    /// @p nMemory samples.
    FadeFit(std::int64_t nShortest, std::int64_t nLongest, std::int64_t nMemory);

    /// Adds a mark's peak @p fLevel (over 0) at @p nAt, later than every position before, and
    /// fits again.
    void Push(std::int64_t nAt, float fLevel);
    /// Push() of each of @p peaks, @p nDelay later, fitted once after the last: the same fit
    /// as theirs, without those between, which a caller that reads only the last never sees.
    void PushAll(const std::vector<MarkPeak>& peaks, std::int64_t nDelay = 0);
    /// The period of the best fit where it explains enough of the peaks' spread and fades deep
    /// enough; 0 otherwise.
    std::int64_t Period() const { return m_bStrong ? m_nPeriod : 0; }
    /// The level the fit gives at @p nAt; only meaningful where Period() is not 0.
    float LevelAt(std::int64_t nAt) const;
    /// The level at @p nAt of a sinusoid in the level itself, fitted at the best fit's period:
    /// its bottoms are as deep as a fade's that swings the amplitude evenly, where the log
    /// level's sinusoid has them too shallow and its tops too high. Only meaningful where
    /// Period() is not 0.
    float AmplitudeAt(std::int64_t nAt) const;
    /// Share of the peaks' spread (log level) the best fit explains; 0 before a fit.
    float Strength() const { return m_fStrength; }
    /// The period of the best fit, however much it explains or deep it fades; 0 before a fit.
    std::int64_t BestPeriod() const { return m_nPeriod; }
    /// Samples from the first peak fitted to the last; 0 before the second.
    std::int64_t Span() const
    {
        return m_peaks.empty() ? 0 : m_peaks.back().nAt - m_peaks.front().nAt;
    }
    /// Where the last peak was; -1 before the first.
    std::int64_t LastPeak() const { return m_peaks.empty() ? -1 : m_peaks.back().nAt; }

private:
    struct Peak
    {
        std::int64_t nAt;
        double dLog;                ///< natural log of the level
        double dLevel;              ///< the level itself
        std::vector<double> cosSin; ///< its phase's cosine and sine at each rate tried
    };
    struct Fit
    {
        double dMean = 0.0, dCos = 0.0, dSin = 0.0; ///< value = mean + cos + sin parts
        double dExplained = 0.0; ///< sum of squares about the mean the fit explains
    };
    /// Keeps a peak, forgetting those out of memory; false where it is not kept.
    bool add(std::int64_t nAt, float fLevel);
    void refit();
    /// The least-squares fit of the peaks' @p pValue at the rate tried @p nRate.
    Fit fitAt(size_t nRate, double Peak::*pValue) const;

    std::int64_t m_nShortest;
    std::int64_t m_nLongest;
    std::int64_t m_nMemory;
    /// The rates tried, in cycles per sample. Each peak keeps its phase's cosine and sine at
    /// each, so a fit after a push takes no trigonometry but the new peak's.
    std::vector<double> m_rates;
    std::deque<Peak> m_peaks;
    std::int64_t m_nPeriod = 0;
    double m_dCycles = 0.0; ///< per sample, of the best fit
    Fit m_best;             ///< of the log level
    Fit m_amplitude;        ///< of the level itself, at the best fit's rate
    float m_fStrength = 0.0f;
    bool m_bStrong = false;
};

} // namespace cw
