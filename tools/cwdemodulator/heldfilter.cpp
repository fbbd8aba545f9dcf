#include "tools/cwdemodulator/heldfilter.h"

#include <algorithm>

namespace cw {

HeldFilter::HeldFilter(double dSampleRate) : m_filter(dSampleRate) {}

void HeldFilter::Filter(const std::complex<float>* pHeld, size_t nCount, std::int64_t nStart)
{
    // Output k weighs the samples from k - before to k + after. One kept from the last call
    // is the same to the bit where those samples are all the same as they were then: within
    // the samples kept, or beyond them the same zeros at the same places.
    const size_t after = size_t(m_filter.Delay());
    const size_t before = m_filter.Length() - 1 - after;
    size_t keepFrom = 0;
    size_t keepTo = 0;
    if (m_nCount > 0 && nStart >= m_nStart && nStart - m_nStart < std::int64_t(m_nCount)) {
        const size_t dropped = size_t(nStart - m_nStart);
        const size_t stillHeld = m_nCount - dropped;
        m_filtered.erase(m_filtered.begin(), m_filtered.begin() + std::ptrdiff_t(dropped));
        keepFrom = dropped > 0 ? before : 0;
        const size_t common = std::min(nCount, stillHeld);
        keepTo = nCount == stillHeld ? nCount : (common > after ? common - after : 0);
        keepFrom = std::min(keepFrom, keepTo);
    }
    m_filtered.resize(nCount);
    m_filter.FilterAligned(pHeld, nCount, 0, keepFrom, m_filtered.data());
    m_filter.FilterAligned(pHeld, nCount, keepTo, nCount, m_filtered.data());
    m_nStart = nStart;
    m_nCount = nCount;
}

} // namespace cw
