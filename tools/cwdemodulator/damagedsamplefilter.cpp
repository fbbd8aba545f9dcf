#include "tools/cwdemodulator/damagedsamplefilter.h"

#include <algorithm>
#include <cmath>

namespace cw {

bool DamagedSampleFilter::IsDamaged(float sample)
{
    return !(std::abs(sample) <= ABSURD_SAMPLE);
}

const float* DamagedSampleFilter::Push(const float* pSamples, size_t nCount)
{
    if (std::none_of(pSamples, pSamples + nCount, IsDamaged))
        return pSamples;
    m_clean.assign(pSamples, pSamples + nCount);
    for (float& sample : m_clean)
        sample = IsDamaged(sample) ? 0.0f : sample;
    return m_clean.data();
}

} // namespace cw
