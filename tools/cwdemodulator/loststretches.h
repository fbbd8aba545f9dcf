#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace cw {

/// The stretches of input in which the tone was lost to a static crash (set to 0 by the
/// crash blanker, or buried under a crash the receiver limited), remembered for the last
/// seconds so that the decisions behind the input can weigh those samples as unknown.
/// Each stretch is told only from the sample at which it became known, so that what is
/// asked does not depend on how far the input ran ahead in its block.
///
/// Life: create, Add() as stretches are found, Count() when asked.
class LostStretches
{
public:
    /// @p nMemory: samples a stretch is remembered after it became known.
    explicit LostStretches(std::int64_t nMemory);

    /// Input samples @p nFirst up to @p nEnd (one past the last) were lost, as known at
    /// sample @p nKnownAt.
    void Add(std::int64_t nFirst, std::int64_t nEnd, std::int64_t nKnownAt);
    /// How many of the samples from @p nFrom up to @p nTo were lost, of the stretches known
    /// by sample @p nKnownBy.
    int Count(std::int64_t nFrom, std::int64_t nTo, std::int64_t nKnownBy) const;
    /// Whether no stretch is remembered: then every count is 0.
    bool Empty() const { return m_stretches.empty(); }

private:
    struct Stretch
    {
        std::int64_t nFirst;
        std::int64_t nEnd;
        std::int64_t nKnownAt;
    };

    std::int64_t m_nMemory;
    std::int64_t m_nLongestAhead = 0; ///< the most a stretch ended after it became known
    std::deque<Stretch> m_stretches;  ///< oldest known first
};

} // namespace cw
