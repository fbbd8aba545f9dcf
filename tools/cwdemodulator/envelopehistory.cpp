#include "tools/cwdemodulator/envelopehistory.h"

#include <algorithm>

namespace cw {

EnvelopeHistory::EnvelopeHistory(double dSamples)
{
    size_t size = 64;
    while (double(size) < dSamples && size < (1u << 20))
        size *= 2;
    m_samples.assign(size, 0.0f);
    m_nMask = size - 1;
}

float EnvelopeHistory::Mean(qint64 nFirst, qint64 nLast, qint64 nNext) const
{
    const qint64 first = std::max(nFirst, nNext - qint64(m_samples.size()));
    if (nLast <= first)
        return 0.0f;
    double sum = 0.0;
    for (qint64 i = first; i < nLast; ++i)
        sum += m_samples[size_t(i) & m_nMask];
    return float(sum / double(nLast - first));
}

} // namespace cw
