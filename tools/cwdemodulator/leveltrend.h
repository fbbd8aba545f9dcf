#pragma once

namespace cw {

/// Smooths a level read sample by sample without the lag a plain average has on a level that
/// moves steadily: two exponential averages of its logarithm, the second over the first, give
/// the trend, and the level is the first carried ahead by the lag the second shows
/// (2 a1 - a2). A level that falls or rises at a steady rate in decibels comes out on time,
/// its jitter from reading to reading smoothed.
///
/// Life: create, Push() per sample.
class LevelTrend
{
public:
    /// @p dSamples: the averages' time constant in samples (at least 1).
    explicit LevelTrend(double dSamples);

    /// Takes @p fLevel (over 0) in and returns the smoothed level for it.
    float Push(float fLevel);

private:
    float m_fWeight;
    bool m_bStarted = false;
    float m_fFirst = 0.0f;  ///< the average of the logarithm
    float m_fSecond = 0.0f; ///< the average of the first
};

} // namespace cw
