#include "tools/fskdemodulator/valuehistory.h"

#include <algorithm>
#include <cmath>

namespace fsk {

ValueHistory::ValueHistory(size_t nCapacity) : m_values(nCapacity) {}

void ValueHistory::Push(float fValue)
{
    ++m_nSample;
    m_values[m_nNext] = fValue;
    if (++m_nNext == m_values.size())
        m_nNext = 0;
}

float ValueHistory::ValueAt(double dSample) const
{
    const int64_t sample = std::min(m_nSample, int64_t(std::lround(dSample)));
    // The newest value sits just before the next to write.
    const size_t back = size_t(
        std::min<int64_t>(m_nSample - std::max<int64_t>(0, sample), int64_t(m_values.size()) - 1));
    return m_values[(m_nNext + m_values.size() - 1 - back) % m_values.size()];
}

} // namespace fsk
