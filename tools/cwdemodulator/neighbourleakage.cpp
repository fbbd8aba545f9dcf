#include "tools/cwdemodulator/neighbourleakage.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace cw {

namespace {

constexpr double POWER_WINDOW_SEC = 0.008; ///< the neighbour's power is smoothed over this
constexpr double EDGE_MARGIN_SEC = 0.010;  ///< a keying edge's own length, on top of the reach
constexpr float STRONGER = 10.0f;          ///< power ratio over our marks for a neighbour
constexpr float KEYED = 10.0f;             ///< its key-down over its key-up power
constexpr double FLOOR_SHARE = 0.2;        ///< share of samples below the neighbour's key-up
constexpr double PEAK_SHARE = 0.95;        ///< share of samples below its key-down
/// Our marks in the neighbour's silence, as a share of what a tone keyed on its own would put
/// there, under which they are the neighbour's leakage.
constexpr double OWN_SHARE = 0.2;
/// Marks (in elements) a tone of our own would put in the neighbour's silence at the least:
/// with less silence than that to listen in, nothing heard is taken for a tone of our own.
constexpr double MIN_EXPECTED_UNITS = 3.0;

/// Centred moving average of @p values over @p nWidth samples, summed in type @p Sum.
template <typename Sum, typename T>
std::vector<T> centredAverage(const std::vector<T>& values, int nWidth)
{
    const size_t count = values.size();
    std::vector<Sum> prefix(count + 1, Sum());
    for (size_t i = 0; i < count; ++i)
        prefix[i + 1] = prefix[i] + Sum(values[i]);
    std::vector<T> out(count);
    const size_t half = size_t(std::max(1, nWidth) / 2);
    for (size_t i = 0; i < count; ++i) {
        const size_t first = i > half ? i - half : 0;
        const size_t last = std::min(count, i + half + 1);
        out[i] = T((prefix[last] - prefix[first]) / double(last - first));
    }
    return out;
}

/// The values at the shares @p dLower and @p dUpper (dLower <= dUpper) of the sorted
/// @p values, from one copy: the upper one is placed first, the lower one below it.
std::pair<float, float> quantiles(std::vector<float> values, double dLower, double dUpper)
{
    const auto upper = values.begin() + std::ptrdiff_t(dUpper * double(values.size() - 1));
    const auto lower = values.begin() + std::ptrdiff_t(dLower * double(values.size() - 1));
    std::nth_element(values.begin(), upper, values.end());
    std::nth_element(values.begin(), lower, upper);
    return {*lower, *upper};
}

/// |@p z| as std::abs gives it (the sum of squares in double, its root rounded to float), without
/// the call: floats squared in double can neither overflow nor underflow.
inline float magnitude(std::complex<float> z)
{
    return float(
        std::sqrt(double(z.real()) * double(z.real()) + double(z.imag()) * double(z.imag())));
}

/// Where the neighbour's keying edges reach: the samples within @p nReach of a crossing of
/// @p fThreshold. Its steady tone between the edges is the channel filter's to stop.
std::vector<bool> reachOfEdges(const std::vector<float>& power, float fThreshold, size_t nReach)
{
    const size_t count = power.size();
    std::vector<bool> reached(count, false);
    for (size_t i = 1; i < count; ++i) {
        if ((power[i] > fThreshold) == (power[i - 1] > fThreshold))
            continue;
        const size_t first = i > nReach ? i - nReach : 0;
        std::fill(reached.begin() + std::ptrdiff_t(first),
                  reached.begin() + std::ptrdiff_t(std::min(count, i + nReach + 1)), true);
    }
    return reached;
}

std::vector<float> outsidePower(const NeighbourLeakage::Held& held)
{
    // What the channel filter keeps out: neighbours, and noise.
    std::vector<float> outside(held.nCount);
    for (size_t i = 0; i < held.nCount; ++i)
        outside[i] = std::norm(held.pBaseband[i] - held.pChannel[i]);
    return centredAverage<double>(outside, int(std::lround(POWER_WINDOW_SEC * held.dSampleRate)));
}

bool keyedAndStronger(float fKeyUp, float fKeyDown, float fMarkLevel)
{
    return fKeyDown >= KEYED * fKeyUp && fKeyDown >= STRONGER * fMarkLevel * fMarkLevel;
}

} // namespace

NeighbourLeakage::Outside NeighbourLeakage::MeasureOutside(const Held& held)
{
    Outside outside;
    if (held.nCount == 0)
        return outside;
    outside.power = outsidePower(held);
    std::tie(outside.fKeyUp, outside.fKeyDown) = quantiles(outside.power, FLOOR_SHARE, PEAK_SHARE);
    return outside;
}

bool NeighbourLeakage::StrongerNeighbourKeys(const Outside& outside, float fMarkLevel)
{
    if (outside.power.empty())
        return false;
    return keyedAndStronger(outside.fKeyUp, outside.fKeyDown, fMarkLevel);
}

bool NeighbourLeakage::Explains(const Held& held, int nLength, float fThreshold, float fMarkLevel)
{
    if (held.nCount < size_t(4 * std::max(1, nLength)))
        return false;
    return Explains(held, MeasureOutside(held), nLength, fThreshold, fMarkLevel);
}

bool NeighbourLeakage::Explains(const Held& held, const Outside& outside, int nLength,
                                float fThreshold, float fMarkLevel)
{
    if (held.nCount < size_t(4 * std::max(1, nLength)) || outside.power.size() != held.nCount)
        return false;
    const std::vector<float>& power = outside.power;
    const float keyUp = outside.fKeyUp;
    const float keyDown = outside.fKeyDown;
    if (!keyedAndStronger(keyUp, keyDown, fMarkLevel))
        return false;

    // The filter's ringing is weak: an edge leaks over about the matched average's reach.
    const size_t reach = size_t(held.nFilterReach / 4 + nLength / 2) +
                         size_t(std::lround(EDGE_MARGIN_SEC * held.dSampleRate));
    const std::vector<bool> reached = reachOfEdges(power, std::sqrt(keyUp * keyDown), reach);
    const std::vector<std::complex<float>> channel(held.pChannel, held.pChannel + held.nCount);
    const std::vector<std::complex<float>> average =
        centredAverage<std::complex<double>>(channel, nLength);
    // A tone of our own would put as large a share of its marks in the neighbour's pauses as
    // they take of the time the neighbour is sending; before and after, leakage is impossible.
    const auto first = std::find(reached.begin(), reached.end(), true);
    const size_t begin = size_t(first - reached.begin());
    const size_t end =
        held.nCount - size_t(std::find(reached.rbegin(), reached.rend(), true) - reached.rbegin());
    size_t marks = 0;
    size_t pauses = 0;
    size_t marksHeardAlone = 0;
    for (size_t i = 0; i < held.nCount; ++i) {
        const bool mark = magnitude(average[i]) > fThreshold;
        const bool sending = i >= begin && i < end;
        marks += mark && sending ? 1 : 0;
        pauses += sending && !reached[i] ? 1 : 0;
        marksHeardAlone += mark && !reached[i] ? 1 : 0;
    }
    const double expected =
        double(marks) * double(pauses) / double(std::max<size_t>(1, end - begin));
    return double(marksHeardAlone) < OWN_SHARE * std::max(expected, MIN_EXPECTED_UNITS * nLength);
}

} // namespace cw
