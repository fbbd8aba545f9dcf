#pragma once

#include "tools/morsedsp/slidingrun.h"

#include <complex>
#include <cstdint>

namespace cw {

/// Listens outside the channel while a transmission is tracked, for a neighbour stronger than
/// our marks. The wanted signal has ended when all that is heard of late is such a
/// neighbour's leakage: the timing tracker would take it for weak marks and never see the
/// silence. The full check (NeighbourLeakage) runs every half second over the last seconds,
/// only while something that strong is outside the channel.
///
/// Life: Reset() at the start of each transmission, then Push() per sample.
class LeakageWatch
{
public:
    /// Seconds the check looks back over.
    static constexpr double WINDOW_SEC = 3.0;

    /// What the decisions know at the sample pushed.
    struct Now
    {
        std::int64_t nPosition; ///< the filtered position the tracker reached
        float fMarkLevel;       ///< of our marks, as the classifier learned it
        float fNoiseVariance;   ///< per sample, as the segmenter measures it
        int nEnvelopeLength;    ///< samples a mark is averaged over
    };

    explicit LeakageWatch(double dSampleRate);

    /// Starts afresh behind a channel filter of @p nFilterDelay samples.
    void Reset(int nFilterDelay);
    /// The next sample before the channel filter (@p input) and out of it (@p channel).
    /// Returns true when only a neighbour's leakage was heard over the last seconds.
    bool Push(const std::complex<float>& input, const std::complex<float>& channel, const Now& now);

    /// Something keys outside the channel 10 dB or more over marks of @p fMarkLevel, as the
    /// last check heard or as heard since.
    bool NeighbourKeys(float fMarkLevel) const;
    /// Where a neighbour stronger than our marks was last heard outside the channel.
    const std::int64_t& StrongNeighbourAt() const { return m_nStrongNeighbourAt; }
    /// Marks decided from here on (filtered position) are a neighbour's leakage.
    std::int64_t LeakageFrom() const { return m_nLeakageFrom; }

private:
    /// Reset() without taking room for the samples.
    void restart(int nFilterDelay);
    void listenOutside(std::complex<float> channel, const Now& now);
    bool checkDue() const;
    bool hearsOnlyLeakage(const Now& now);

    double m_dSampleRate;
    size_t m_nFilterDelay = 0;
    dsp::SlidingRun<std::complex<float>> m_recentInput;   ///< derotated baseband
    dsp::SlidingRun<std::complex<float>> m_recentChannel; ///< the same through the channel filter
    float m_fOutsidePeak = 0.0f;   ///< strongest power outside the channel since the last check
    bool m_bNeighbourKeys = false; ///< the last check heard something that strong outside
    std::int64_t m_nStrongNeighbourAt = 0;
    std::int64_t m_nLeakageFrom = 0;
};

} // namespace cw
