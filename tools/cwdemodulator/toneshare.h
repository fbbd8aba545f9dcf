#pragma once

#include <memory>

namespace cw {

class ChannelFilter;

/// The share of the tone each sample handed to the segmenter still holds where a static crash
/// took part of the input (set to 0 by the crash blanker, or buried under a crash the
/// receiver limited): the lost shares of the baseband samples through the channel filter, as
/// the samples went. A mark with a crash in it is then weighed as a mark with a hole, not as
/// a mark, a gap and a mark. The demodulator drives it beside the channel filter.
///
/// Life: create per transmission, Push() per baseband sample.
class ToneShare
{
public:
    /// @p dPassHz: the channel filter's.
    ToneShare(double dSampleRate, double dPassHz);
    ~ToneShare();
    ToneShare(const ToneShare&) = delete;
    ToneShare& operator=(const ToneShare&) = delete;

    /// Takes the share of the next baseband sample's input that was lost (0 to 1), and
    /// returns the share of the tone the filtered sample as far behind as the channel
    /// filter's output kept (1 when nothing was lost).
    float Push(float fLost);
    /// What the last Push() returned (1 before the first).
    float Last() const { return m_fLast; }

private:
    std::unique_ptr<ChannelFilter> m_pFilter;
    int m_nQuiet;     ///< pushes without a loss it takes until 1 comes out again
    int m_nSinceLoss; ///< pushes since the last one with a loss
    float m_fLast = 1.0f;
};

} // namespace cw
