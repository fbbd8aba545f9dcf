#include "tools/cwdemodulator/recentruns.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace cw {

namespace {

constexpr double LOG_2 = 0.69314718055994531;
constexpr double LOG_3 = 1.0986122886681098;
constexpr double LOG_7 = 1.9459101090932196;
constexpr double LOG_10 = 2.3025850929940457;
constexpr size_t REFIT_MIN_RUNS = 12;
constexpr double REFIT_REACH = 1.0; ///< log range searched around the tracked length
constexpr double REFIT_STEP = 0.04;
constexpr double REFIT_JUMP = 0.22; ///< log difference that counts as a speed change
constexpr double REFIT_GAIN = 0.6;  ///< the new length must cut the misfit by this much

} // namespace

void RecentRuns::Clear()
{
    m_runs.Clear();
}

void RecentRuns::Remember(bool bMark, qint64 nLength)
{
    m_runs.Push({bMark, float(std::log(double(std::max<qint64>(1, nLength))))});
}

double RecentRuns::Refit(double dUnit, double dMinUnit, double dMaxUnit) const
{
    // When a length fits clearly better than the tracked one and differs a lot, the speed
    // changed: it is taken at once instead of crept towards.
    if (m_runs.size() < REFIT_MIN_RUNS)
        return dUnit;
    const double logUnit = std::log(dUnit);
    bool mixed = false;
    const double current = cost(logUnit, std::numeric_limits<double>::infinity(), mixed);
    const double lowest = std::max(logUnit - REFIT_REACH, std::log(dMinUnit));
    const double highest = std::min(logUnit + REFIT_REACH, std::log(dMaxUnit));
    // Only a length far off, and fitting better by the gain, is taken. Mostly none is: the
    // far lengths are tried first against that bound alone, and all only if one passes it.
    // (A far length that fits no better than the bound is never taken, and the best of all
    // is then no better either; lengths that take part in neither are left as they were.)
    bool farFits = false;
    for (double candidate = lowest; candidate <= highest && !farFits; candidate += REFIT_STEP) {
        if (std::abs(candidate - logUnit) <= REFIT_JUMP)
            continue;
        const double c = cost(candidate, REFIT_GAIN * current, mixed);
        farFits = mixed && c < REFIT_GAIN * current;
    }
    if (!farFits)
        return dUnit;
    double bestLog = logUnit;
    double best = current;
    for (double candidate = lowest; candidate <= highest; candidate += REFIT_STEP) {
        const double c = cost(candidate, best, mixed);
        if (mixed && c < best) {
            best = c;
            bestLog = candidate;
        }
    }
    if (std::abs(bestLog - logUnit) > REFIT_JUMP && best < REFIT_GAIN * current)
        return std::clamp(std::exp(bestLog), dMinUnit, dMaxUnit);
    return dUnit;
}

double RecentRuns::cost(double dLogUnit, double dBound, bool& bMixed) const
{
    // A record of one kind of mark fits a third (or three times) the speed as well as the
    // true one ("EEE" and "TTT"); only a record with dots and dashes can tell.
    // Every run adds a share of at least 0, so a length whose sum reaches @p dBound on the way
    // cannot fit better than the one that set it: the sum stops there.
    double sum = 0.0;
    int marks = 0;
    int dots = 0;
    for (const dsp::RingBuffer<Run>::Part& part : {m_runs.Older(), m_runs.Newer()}) {
        for (const Run& run : part) {
            const double l = double(run.fLogLength) - dLogUnit;
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
    }
    bMixed = dots > 0 && dots < marks;
    return sum;
}

} // namespace cw
