#pragma once

#include <cstdint>

namespace cw {

/// Measures how fast a fade comes and goes from the level of the marks seen one after the
/// other: a bottom is the weakest mark before the level rose some factor again, a top the
/// strongest before it fell as far, and the fade's period is the time between two bottoms.
/// The ups and downs of a steady signal's marks stay under the factor, so it shows no period.
///
/// Life: create, Push() the marks' peaks in order of position; Period() then speaks for them.
class FadePeriodWatch
{
public:
    /// The level must rise or fall @p fFactor times (more than 1) to turn.
    explicit FadePeriodWatch(float fFactor);

    /// Adds a mark's peak @p fLevel at @p nAt, later than every position added before.
    void Push(std::int64_t nAt, float fLevel);
    /// The shortest of the last three spans between bottoms where the other two are once or
    /// twice as long (a bottom lost in a gap), else their middle, so that one turn of the noise
    /// does not count; 0 until four bottoms were seen.
    std::int64_t Period() const;
    /// The last bottom's position; -1 until one was seen.
    std::int64_t LastBottom() const { return m_nBottoms > 0 ? m_nLastBottom : -1; }

private:
    void bottomAt(std::int64_t nAt);
    /// Whether every span is about once or twice @p nShortest.
    bool spansAreMultiplesOf(std::int64_t nShortest) const;

    float m_fFactor;
    bool m_bFalling = true;        ///< seeking a bottom, else a top
    float m_fExtreme = 0.0f;       ///< weakest since the last top, or strongest since the bottom
    std::int64_t m_nExtremeAt = 0; ///< where the weakest was
    std::int64_t m_nLastBottom = 0;
    std::int64_t m_spans[3] = {}; ///< between the last bottoms, newest first
    int m_nBottoms = 0;
};

} // namespace cw
