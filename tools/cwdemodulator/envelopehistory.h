#pragma once

#include <QtGlobal>

#include <vector>

namespace cw {

/// The latest envelope samples, for CwTimingTracker to read a mark's level from its steady
/// middle once the mark has ended.
class EnvelopeHistory
{
public:
    /// Holds at least @p dSamples samples (up to about a million).
    explicit EnvelopeHistory(double dSamples);
    void Store(qint64 nPosition, float fEnvelope)
    {
        m_samples[size_t(nPosition) & m_nMask] = fEnvelope;
    }
    /// The mean of samples @p nFirst up to before @p nLast, of those still held when the next
    /// sample is @p nNext; 0 when none.
    float Mean(qint64 nFirst, qint64 nLast, qint64 nNext) const;

private:
    std::vector<float> m_samples; ///< ring of power-of-two size
    size_t m_nMask = 0;
};

} // namespace cw
