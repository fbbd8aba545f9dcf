#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace cw {

/// Tells the leakage of a stronger neighbouring signal from a tone of our own. A keyed
/// neighbour's sidebands reach into the channel at each of its edges (its steady tone is
/// stopped), so what leaks through is only heard near the neighbour's edges. A tone of our
/// own is also heard away from them: in the neighbour's pauses and in the middle of its
/// dashes, even when both are keyed alike. Judged on held samples at acquisition.
class NeighbourLeakage
{
public:
    struct Held
    {
        const std::complex<float>* pBaseband; ///< the samples before the channel filter
        const std::complex<float>* pChannel;  ///< the same through it, aligned with them
        size_t nCount;
        double dSampleRate;
        int nFilterReach; ///< samples the channel filter spreads an edge over on each side
    };

    /// What the channel filter keeps out of the held samples (neighbours, and noise): its
    /// power around each sample, and the levels of its key-up and key-down.
    struct Outside
    {
        std::vector<float> power; ///< empty when nothing was held
        float fKeyUp = 0.0f;
        float fKeyDown = 0.0f;
    };
    /// Measured once, it answers both questions below for the same held samples.
    static Outside MeasureOutside(const Held& held);

    /// True when something keyed outside the channel is 10 dB or more over marks of
    /// @p fMarkLevel: its keying clicks then reach into the channel at each of its edges.
    static bool StrongerNeighbourKeys(const Outside& outside, float fMarkLevel);

    /// True when the marks (averages over @p nLength samples above @p fThreshold, at
    /// @p fMarkLevel) are all near the keying edges of a neighbour 10 dB or more stronger,
    /// where a tone of our own would also have been heard away from them.
    static bool Explains(const Held& held, int nLength, float fThreshold, float fMarkLevel);
    /// The same with @p outside measured of @p held.
    static bool Explains(const Held& held, const Outside& outside, int nLength, float fThreshold,
                         float fMarkLevel);
};

} // namespace cw
