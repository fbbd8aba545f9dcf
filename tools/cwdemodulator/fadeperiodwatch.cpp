#include "tools/cwdemodulator/fadeperiodwatch.h"

#include <algorithm>
#include <cmath>

namespace cw {

namespace {

/// A span is once or twice a shorter one (a bottom lost in a gap between two seen) when within
/// this share of it: at 15 WPM a fade of 2 Hz holds two or three marks, and the bottoms that
/// fall in gaps go unseen (fading 20 dB at 2 Hz, +6 dB, 15 WPM: 55.1 % with the middle span,
/// 52.1 at 0.25 or 0.15; any whole multiple at 0.25 read 49.9 % but took the AGC row's
/// crashes for a fade, 25 WPM `--seed 2` 1.8 -> 2.3 %).
constexpr double MULTIPLE_SLACK = 0.25;
constexpr double MOST_TIMES = 2.0;

} // namespace

FadePeriodWatch::FadePeriodWatch(float fFactor) : m_fFactor(fFactor) {}

void FadePeriodWatch::Push(std::int64_t nAt, float fLevel)
{
    if (m_fExtreme <= 0.0f) {
        m_fExtreme = fLevel;
        m_nExtremeAt = nAt;
        return;
    }
    if (m_bFalling) {
        if (fLevel < m_fExtreme) {
            m_fExtreme = fLevel;
            m_nExtremeAt = nAt;
        } else if (fLevel >= m_fFactor * m_fExtreme) {
            bottomAt(m_nExtremeAt);
            m_bFalling = false;
            m_fExtreme = fLevel;
        }
        return;
    }
    if (fLevel > m_fExtreme) {
        m_fExtreme = fLevel;
    } else if (m_fFactor * fLevel <= m_fExtreme) {
        m_bFalling = true;
        m_fExtreme = fLevel;
        m_nExtremeAt = nAt;
    }
}

void FadePeriodWatch::bottomAt(std::int64_t nAt)
{
    if (m_nBottoms > 0) {
        m_spans[2] = m_spans[1];
        m_spans[1] = m_spans[0];
        m_spans[0] = nAt - m_nLastBottom;
    }
    m_nLastBottom = nAt;
    ++m_nBottoms;
}

std::int64_t FadePeriodWatch::Period() const
{
    if (m_nBottoms < 4)
        return 0;
    const std::int64_t shortest = std::min({m_spans[0], m_spans[1], m_spans[2]});
    if (spansAreMultiplesOf(shortest))
        return shortest;
    return std::max(std::min(m_spans[0], m_spans[1]),
                    std::min(std::max(m_spans[0], m_spans[1]), m_spans[2]));
}

bool FadePeriodWatch::spansAreMultiplesOf(std::int64_t nShortest) const
{
    if (nShortest <= 0)
        return false;
    for (const std::int64_t span : m_spans) {
        const double times = double(span) / double(nShortest);
        if (std::abs(times - std::round(times)) > MULTIPLE_SLACK || std::round(times) > MOST_TIMES)
            return false;
    }
    return true;
}

} // namespace cw
