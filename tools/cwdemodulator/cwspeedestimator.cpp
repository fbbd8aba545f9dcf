#include "tools/cwdemodulator/cwspeedestimator.h"

#include "tools/cwdemodulator/cwtimingtracker.h"
#include "tools/cwdemodulator/envelopedetector.h"
#include "tools/cwdemodulator/levelsort.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace cw {

namespace {

constexpr double CANDIDATE_STEP = 1.12;
constexpr double NEAR_STEPS = 2.0; ///< candidates each side of a length searched near
constexpr double PRIOR_MISFIT = 1.5;
/// Extra misfit for a window whose marks are all of one kind: "EEE" also fits as "TTT" at a
/// third of the speed, and mixed text is far more likely.
constexpr double ONE_KIND_PENALTY = 0.05;

/// Collects the runs of a trial, with their misfit against Morse timing.
class TrialListener : public CwTimingTracker::IListener
{
public:
    /// Forgets the last trial's runs (keeping the room for them) for one at @p dUnit.
    void Restart(double dUnit)
    {
        m_dUnit = dUnit;
        nMarks = nDots = nDashes = items = 0;
        cost = 0.0;
        peaks.clear();
        observations.clear();
    }
    void OnSymbol(int, qint64) override {}
    void OnRun(const CwTimingTracker::Run& run) override
    {
        const double units = double(run.nLength) / m_dUnit;
        if (run.bMark) {
            ++nMarks;
            (units < 2.0 ? nDots : nDashes) += 1;
            cost += CwTimingTracker::Misfit(true, units);
            ++items;
            if (run.fLevel > 0.0f)
                peaks.push_back(run.fLevel);
            observations.push_back(units < 2.0 ? double(run.nLength) : double(run.nLength) / 3.0);
        } else if (units < 10.0) {
            cost += CwTimingTracker::Misfit(false, units);
            ++items;
            if (units < 2.0)
                observations.push_back(double(run.nLength));
        }
    }

    double m_dUnit = 1.0;
    int nMarks = 0;
    int nDots = 0;
    int nDashes = 0;
    int items = 0;
    double cost = 0.0;
    std::vector<float> peaks;
    std::vector<double> observations;
};

constexpr double NOT_TRIED = -1.0; ///< cost of a candidate length not tried yet
constexpr double NO_FIT = 1e9;     ///< cost of a candidate with too few marks
constexpr size_t NONE = ~size_t(0);

/// The indices of the two lowest costs that fit, NONE where there are fewer.
std::pair<size_t, size_t> bestTwo(const std::vector<double>& costs)
{
    std::pair<size_t, size_t> order{NONE, NONE};
    for (size_t n = 0; n < costs.size(); ++n) {
        if (costs[n] == NOT_TRIED || costs[n] >= NO_FIT)
            continue;
        if (order.first == NONE || costs[n] < costs[order.first]) {
            order.second = order.first;
            order.first = n;
        } else if (order.second == NONE || costs[n] < costs[order.second]) {
            order.second = n;
        }
    }
    return order;
}

/// Tries the candidate lengths coarse to fine: every @p nStride th one first, then the
/// neighbours of the two that fit best (the cost changes slowly with the length near a fit);
/// all of them when none fits. @p costs fill in as @p consider tries them.
template <typename Consider>
void considerCoarseToFine(const std::vector<double>& costs, size_t nStride, Consider consider)
{
    for (size_t n = 0; n < costs.size(); n += nStride)
        consider(n);
    const auto order = bestTwo(costs);
    if (order.first == NONE) {
        for (size_t n = 0; n < costs.size(); ++n)
            consider(n);
        return;
    }
    for (size_t n : {order.first, order.second}) {
        if (n == NONE)
            continue;
        if (n > 0)
            consider(n - 1);
        consider(n + 1);
    }
}

/// Tries the candidate lengths within NEAR_STEPS steps of @p dNear.
template <typename Consider>
void considerNear(const std::vector<double>& candidates, double dNear, Consider consider)
{
    const double reach = NEAR_STEPS * std::log(CANDIDATE_STEP) * 1.001;
    for (size_t n = 0; n < candidates.size(); ++n) {
        if (std::abs(std::log(candidates[n] / dNear)) <= reach)
            consider(n);
    }
}

/// Threshold between the two classes of sorted @p values that maximises the between-class
/// variance. @p sums is scratch.
void splitLevels(const std::vector<float>& values, std::vector<double>& sums, float& fLow,
                 float& fHigh)
{
    const size_t n = values.size();
    fLow = fHigh = n ? values[n / 2] : 0.0f;
    // Coarse steps are enough for a level estimate and keep this linear. The sum below each
    // step and the total are one reading in order: each the same to the bit as a sum of its
    // own from the start.
    const size_t step = std::max<size_t>(1, n / 256);
    sums.clear();
    double below = 0.0;
    size_t counted = 0;
    for (size_t i = step; i < n; i += step) {
        for (; counted < i; ++counted)
            below += values[counted];
        sums.push_back(below);
    }
    for (; counted < n; ++counted)
        below += values[counted];
    const double total = below;
    double best = -1.0;
    size_t i = step;
    for (double sum : sums) {
        const double w0 = double(i) / double(n);
        const double m0 = sum / double(i);
        const double m1 = (total - sum) / double(n - i);
        const double between = w0 * (1.0 - w0) * (m1 - m0) * (m1 - m0);
        if (between > best) {
            best = between;
            fLow = float(m0);
            fHigh = float(m1);
        }
        i += step;
    }
}

} // namespace

/// The timing rules a trial runs and what it collects, kept from trial to trial: the tracker's
/// history holds the longest dash at the slowest speed, too much to clear for every trial.
struct CwSpeedEstimator::Trial
{
    explicit Trial(const CwTimingTracker::Settings& settings) : tracker(settings, &listener) {}

    TrialListener listener;
    CwTimingTracker tracker;
};

CwSpeedEstimator::CwSpeedEstimator(double dMinUnit, double dMaxUnit)
    : m_dMinUnit(dMinUnit), m_dMaxUnit(dMaxUnit)
{
}

CwSpeedEstimator::~CwSpeedEstimator() = default;
CwSpeedEstimator::CwSpeedEstimator(CwSpeedEstimator&&) noexcept = default;

CwSpeedEstimator::Result CwSpeedEstimator::Estimate(const std::complex<float>* pSamples,
                                                    size_t nCount, int nMinMarks, bool bInPhase)
{
    m_candidates.clear();
    for (double unit = m_dMinUnit; unit <= m_dMaxUnit * 1.001; unit *= CANDIDATE_STEP)
        m_candidates.push_back(unit);
    m_costs.assign(m_candidates.size(), NOT_TRIED);
    // Every trial averages the same limited samples: they are limited once.
    if (m_fLimit > 0.0f) {
        m_limited.resize(nCount);
        const float limit = m_fLimit;
        for (size_t i = 0; i < nCount; ++i) {
            std::complex<float> sample = pSamples[i];
            const float size = std::abs(sample);
            m_limited[i] = size > limit ? sample * (limit / size) : sample;
        }
        pSamples = m_limited.data();
    }
    // Both envelopes are of other samples, or another limit.
    m_levels = m_bestLevels = Levels();
    Result best;
    best.dCost = 1e9;
    auto consider = [&](size_t n) {
        if (n >= m_candidates.size() || m_costs[n] != NOT_TRIED)
            return;
        const Result trial = tryUnit(pSamples, nCount, m_candidates[n], bInPhase);
        const bool counts = trial.nMarks >= nMinMarks;
        m_costs[n] = counts ? trial.dCost : NO_FIT;
        if (counts && trial.dCost < best.dCost) {
            best = trial;
            m_envelope.swap(m_bestEnvelope);
            std::swap(m_levels, m_bestLevels);
        }
    };
    if (m_dNear > 0.0)
        considerNear(m_candidates, m_dNear, consider);
    else
        considerCoarseToFine(m_costs, m_bCoarse ? 3 : 2, consider);
    if (best.nMarks < nMinMarks)
        return Result();
    // Settle the element length on the median of what the best trial's elements say. Half
    // the time that is the best trial's own averaging length, whose envelope and levels are
    // kept.
    if (averagingLength(best.dUnit) == m_bestLevels.nLength) {
        m_envelope.swap(m_bestEnvelope);
        std::swap(m_levels, m_bestLevels);
    }
    const Result refined = tryUnit(pSamples, nCount, best.dUnit, bInPhase);
    Result result = refined.nMarks >= nMinMarks ? refined : best;
    result.bFound = result.dMisfit <= MAX_COST;
    return result;
}

int CwSpeedEstimator::averagingLength(double dUnit)
{
    return std::max(1, int(std::lround(dUnit)));
}

void CwSpeedEstimator::envelopeAndLevels(const std::complex<float>* pSamples, size_t nCount,
                                         int nLength, bool bInPhase)
{
    m_envelope.resize(nCount);
    EnvelopeDetector::AverageOf(pSamples, nCount, nLength, bInPhase, m_envelope.data());
    m_sorted.assign(m_envelope.begin() + nLength, m_envelope.end());
    sortLevels(m_sorted, m_keys, m_keyScratch);
    m_levels.nLength = nLength;
    splitLevels(m_sorted, m_sums, m_levels.fSpace, m_levels.fMark);
}

CwSpeedEstimator::Result CwSpeedEstimator::tryUnit(const std::complex<float>* pSamples,
                                                   size_t nCount, double dUnit, bool bInPhase)
{
    Result result;
    result.dUnit = dUnit;
    const int length = averagingLength(dUnit);
    if (nCount <= size_t(length) * 2)
        return result;
    if (m_levels.nLength != length)
        envelopeAndLevels(pSamples, nCount, length, bInPhase);
    const float space = m_levels.fSpace;
    const float mark = m_levels.fMark;

    if (!m_pTrial) {
        CwTimingTracker::Settings settings;
        settings.dMinUnit = m_dMinUnit;
        settings.dMaxUnit = m_dMaxUnit;
        settings.dLineSilence = 1e18;
        settings.bAdapt = false;
        settings.bRunsOnly = true;
        m_pTrial = std::make_unique<Trial>(settings);
    }
    TrialListener& listener = m_pTrial->listener;
    CwTimingTracker& tracker = m_pTrial->tracker;
    listener.Restart(dUnit);
    tracker.Start(dUnit, mark, space, 0);
    tracker.PushAll(m_envelope.data() + length, nCount - size_t(length));

    result.nMarks = listener.nMarks;
    result.fSpaceLevel = space;
    result.fMarkLevel = mark;
    if (listener.items == 0)
        return result;
    // The prior misfit keeps a handful of runs that happen to fit from beating a long,
    // slightly noisier record.
    result.dCost = (listener.cost + PRIOR_MISFIT) / listener.items;
    result.dMisfit = listener.cost / listener.items;
    if (listener.nDots == 0 || listener.nDashes == 0) {
        result.dCost += ONE_KIND_PENALTY;
        result.dMisfit += ONE_KIND_PENALTY;
    }
    if (!listener.peaks.empty()) {
        auto middle = listener.peaks.begin() + std::ptrdiff_t(listener.peaks.size() / 2);
        std::nth_element(listener.peaks.begin(), middle, listener.peaks.end());
        result.fMarkLevel = *middle;
    }
    if (!listener.observations.empty()) {
        auto middle =
            listener.observations.begin() + std::ptrdiff_t(listener.observations.size() / 2);
        std::nth_element(listener.observations.begin(), middle, listener.observations.end());
        result.dUnit = std::clamp(*middle, m_dMinUnit, m_dMaxUnit);
    }
    return result;
}

} // namespace cw
