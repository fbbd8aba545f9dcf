#pragma once

#include "tools/morsedsp/ringbuffer.h"

namespace cw {

/// Tells when the channel held a mark the envelope tracker did not hear: the matched filter's
/// envelope clear of the noise inside one of the tracker's key-up runs, two envelope lengths
/// away from the marks on either side (whose edges the channel filter and the matched filter
/// spread). At the start of a deep fade the tracker keeps the threshold of the level it
/// learned, and the marks that fall under it are silence to it while they still stand far
/// over the noise.
///
/// Life: create per transmission, Push() per sample; Heard() speaks for the samples so far.
class UnheardMarkWatch
{
public:
    /// @p nEnvelopeLength: the samples the matched filter averages.
    explicit UnheardMarkWatch(int nEnvelopeLength);

    /// The next sample: the envelope's magnitude, whether the tracker's key is down (or an
    /// edge is pending), and the envelope a mark must reach to stand clear of the noise.
    void Push(float fEnvelope, bool bKeyDown, float fClearOfNoise);
    bool Heard() const { return m_bHeard; }

private:
    int m_nLength;
    dsp::RingBuffer<float> m_recent; ///< the envelope's last 2 m_nLength + 1 samples
    int m_nKeyUp = 0;                ///< samples since the tracker's key went up; 0 while down
    bool m_bHeard = false;
};

} // namespace cw
