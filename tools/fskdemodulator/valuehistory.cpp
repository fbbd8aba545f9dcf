#include "tools/fskdemodulator/valuehistory.h"

#include <algorithm>
#include <cmath>

namespace fsk {

ValueHistory::ValueHistory(size_t nCapacity) : m_values(std::max<size_t>(1, nCapacity))
{
    m_values.Fill(0.0f);
}

void ValueHistory::Push(float fValue)
{
    ++m_nSample;
    m_values.Push(fValue);
}

float ValueHistory::ValueAt(double dSample) const
{
    const int64_t sample = std::min(m_nSample, int64_t(std::lround(dSample)));
    const int64_t back = std::clamp<int64_t>(m_nSample - std::max<int64_t>(0, sample), 0,
                                             int64_t(m_values.size()) - 1);
    return m_values.FromNewest(size_t(back));
}

} // namespace fsk
