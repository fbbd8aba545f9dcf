#include "tools/cwdemodulator/segmentlengthpriors.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>

namespace cw {

namespace {

constexpr double NEGATIVE = -1e300;
/// Spread of element lengths, in log units: hand-sent timing and noise on the edges.
constexpr double LENGTH_SPREAD = 0.15;
/// Marks and gaps shorter than this (units) do not occur: hand-sent elements stay above
/// 0.8 of their length.
constexpr double SHORTEST_UNITS = 0.6;

// Shares of the choices after a mark: another element, or the end of the character
// (followed by one more, or by a word gap).
constexpr double ELEMENT_GAP_SHARE = 0.55;
constexpr double CHARACTER_GAP_SHARE = 0.3;
constexpr double WORD_GAP_SHARE = 0.15;

/// Log prior added to every mark length of the priors decoding reads while the mark level
/// holds still. Near the noise floor the search lost more real elements (a dot of a
/// character, an E between words) than it read noise as marks, on both generators'
/// recordings. Tuned on the error-rate benchmark's noise-floor cells (0.08 to 0.6 tried;
/// from 0.3 on the slow cells lost more than the fast ones gained). While the level follows a
/// fade, the bottom of a fade is weighed against a lowered level already: there the bonus
/// read noise as marks at 15 WPM.
constexpr float STEADY_LEVEL_MARK_BONUS = 0.15f;

/// A log-normal mixture of lengths in blocks, each part given as (share, length in units);
/// lengths less likely than @p dLeastLikely (log) are left out. @p logUnits holds the log of
/// each length in units (NaN where a length is too short to occur), shared by the priors.
std::vector<float> lengthPrior(int nLongest, double dBlocksPerUnit,
                               const std::vector<double>& logUnits, double dLeastLikely,
                               std::initializer_list<std::pair<double, double>> parts)
{
    // The speed moves the priors often: each logarithm is taken once.
    std::vector<std::pair<double, double>> logParts;
    double totalShare = 0.0;
    for (const auto& part : parts) {
        logParts.emplace_back(part.first, std::log(part.second));
        totalShare += part.first;
    }
    // A length's log prior is at most the log of all shares plus the nearest part's exponent:
    // where that bound is clearly under the floor, the exponentials and the logarithm of their
    // sum are not taken. The margin covers their rounding many times over.
    constexpr double BOUND_MARGIN = 1e-9;
    const double boundFloor = dLeastLikely - std::log(totalShare) - BOUND_MARGIN;
    // So only lengths within this many log units of a part's length can pass: the lengths
    // tried are those (with some slack), not the whole range.
    constexpr double RANGE_SLACK = 1e-6;
    const double reach = boundFloor < 0.0 ? LENGTH_SPREAD * std::sqrt(-2.0 * boundFloor) : 0.0;
    double lowest = double(nLongest);
    double highest = 1.0;
    for (const auto& part : logParts) {
        lowest = std::min(lowest, dBlocksPerUnit * std::exp(part.second - reach));
        highest = std::max(highest, dBlocksPerUnit * std::exp(part.second + reach));
    }
    const int from = int(std::max(1.0, std::floor(lowest * (1.0 - RANGE_SLACK))));
    const int to = int(std::min(double(nLongest), std::ceil(highest * (1.0 + RANGE_SLACK))));
    std::vector<float> prior(size_t(nLongest) + 1, float(NEGATIVE));
    for (int d = from; d <= to; ++d) {
        const double l = logUnits[size_t(d)];
        if (std::isnan(l))
            continue;
        double nearest = NEGATIVE;
        for (const auto& part : logParts) {
            const double z = (l - part.second) / LENGTH_SPREAD;
            nearest = std::max(nearest, -0.5 * z * z);
        }
        if (nearest < boundFloor)
            continue;
        double sum = 0.0;
        for (const auto& [share, logLength] : logParts) {
            const double z = (l - logLength) / LENGTH_SPREAD;
            sum += share * std::exp(-0.5 * z * z);
        }
        if (sum <= 0.0)
            continue;
        const double logSum = std::log(sum);
        if (logSum > dLeastLikely)
            prior[size_t(d)] = float(logSum);
    }
    return prior;
}

/// Adds @p fLog to each length @p prior allows.
void raise(std::vector<float>& prior, float fLog)
{
    for (float& value : prior)
        value = value > float(NEGATIVE) ? value + fLog : value;
}

/// Makes @p prior a distribution over its lengths times @p dShare (scores that compare
/// between element lengths), or leaves it as it is.
void normalise(std::vector<float>& prior, double dShare)
{
    double total = 0.0;
    for (float value : prior)
        total += value > float(NEGATIVE) ? std::exp(double(value)) : 0.0;
    const float shift = float(std::log(std::max(total, 1e-300) / dShare));
    for (float& value : prior)
        value = value > float(NEGATIVE) ? value - shift : value;
}

} // namespace

SegmentLengthPriors::SegmentLengthPriors(int nLongestMark, int nLongestGap,
                                         double dLeastLikelyLength, double dLeastLikelyCharacterGap)
    : m_nLongestMark(nLongestMark), m_nLongestGap(nLongestGap),
      m_dLeastLikelyLength(dLeastLikelyLength), m_dLeastLikelyCharacterGap(dLeastLikelyCharacterGap)
{
}

void SegmentLengthPriors::SetNormalised(bool bNormalised)
{
    if (bNormalised == m_bNormalised)
        return;
    m_bNormalised = bNormalised;
    recompute();
}

void SegmentLengthPriors::SetLevelFollowed(bool bLevelFollowed)
{
    if (bLevelFollowed == m_bLevelFollowed)
        return;
    m_bLevelFollowed = bLevelFollowed;
    recompute();
}

void SegmentLengthPriors::recompute()
{
    if (m_dBlocksPerUnit > 0.0)
        Set(m_dBlocksPerUnit);
}

void SegmentLengthPriors::Set(double dBlocksPerUnit)
{
    m_dBlocksPerUnit = dBlocksPerUnit;
    m_markPieces.resize(size_t(m_nLongestMark) + 1);
    for (size_t d = 0; d < m_markPieces.size(); ++d)
        m_markPieces[d] = std::lround(double(d) / dBlocksPerUnit);
    // Each length's logarithm is taken once for the four priors.
    m_logUnits.assign(size_t(std::max(m_nLongestMark, m_nLongestGap)) + 1,
                      std::numeric_limits<double>::quiet_NaN());
    for (size_t d = 1; d < m_logUnits.size(); ++d) {
        if (double(d) >= SHORTEST_UNITS * dBlocksPerUnit)
            m_logUnits[d] = std::log(double(d) / dBlocksPerUnit);
    }
    const double floor = m_dLeastLikelyLength;
    std::vector<float> dot =
        lengthPrior(m_nLongestMark, dBlocksPerUnit, m_logUnits, floor, {{1.0, 1.0}});
    std::vector<float> dash =
        lengthPrior(m_nLongestMark, dBlocksPerUnit, m_logUnits, floor, {{1.0, 3.0}});
    std::vector<float> elementGap =
        lengthPrior(m_nLongestGap, dBlocksPerUnit, m_logUnits, floor, {{ELEMENT_GAP_SHARE, 1.0}});
    // The gaps that end characters are searched once per step, not per node of the code tree:
    // they keep the full range (Farnsworth spacing falls between the character and word gap).
    std::vector<float> characterGap =
        lengthPrior(m_nLongestGap, dBlocksPerUnit, m_logUnits, m_dLeastLikelyCharacterGap,
                    {{CHARACTER_GAP_SHARE, 3.0}, {WORD_GAP_SHARE, 7.0}});
    if (m_bNormalised) {
        normalise(dot, 0.5);
        normalise(dash, 0.5);
        normalise(elementGap, ELEMENT_GAP_SHARE);
        normalise(characterGap, CHARACTER_GAP_SHARE + WORD_GAP_SHARE);
    } else if (!m_bLevelFollowed) {
        raise(dot, STEADY_LEVEL_MARK_BONUS);
        raise(dash, STEADY_LEVEL_MARK_BONUS);
    }
    // The longest modelled silence is chained, not ended: it is priced on its own.
    m_fLongPrior = characterGap[size_t(m_nLongestGap)];
    characterGap[size_t(m_nLongestGap)] = float(NEGATIVE);
    // The search adds them to scores in double: kept as doubles, so that it need not convert
    // each length's prior every time it tries it.
    m_dot.log.assign(dot.begin(), dot.end());
    m_dash.log.assign(dash.begin(), dash.end());
    m_elementGap.log.assign(elementGap.begin(), elementGap.end());
    m_characterGap.log.assign(characterGap.begin(), characterGap.end());
    for (LengthPrior* prior : {&m_dot, &m_dash, &m_elementGap, &m_characterGap}) {
        const auto& log = prior->log;
        auto likely = [](double value) { return value > double(float(NEGATIVE)); };
        prior->nShortest = int(std::find_if(log.begin(), log.end(), likely) - log.begin());
        prior->nLongest = int(log.rend() - std::find_if(log.rbegin(), log.rend(), likely)) - 1;
    }
}

} // namespace cw
