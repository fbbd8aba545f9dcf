#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace dsp {

/// The latest values of a stream, side by side, for callers that hand them on as one
/// contiguous run and trim the oldest a stretch at a time. DropOldest() only moves the start;
/// the values kept are moved back to the front of the storage once as many were dropped as are
/// kept, so that trimming costs less than a move per value pushed (erasing the front of a
/// vector each time moved the whole run).
template <typename T> class SlidingRun
{
public:
    void Push(const T& value) { m_values.push_back(value); }
    /// Takes room for @p nCount values (dropped ones not yet moved out included) at once.
    void Reserve(size_t nCount) { m_values.reserve(nCount); }
    /// Drops the @p nCount oldest values (all of them when fewer are kept).
    void DropOldest(size_t nCount)
    {
        m_nOldest += std::min(nCount, size());
        if (m_nOldest >= size()) {
            m_values.erase(m_values.begin(), m_values.begin() + std::ptrdiff_t(m_nOldest));
            m_nOldest = 0;
        }
    }
    void Clear()
    {
        m_values.clear();
        m_nOldest = 0;
    }
    size_t size() const { return m_values.size() - m_nOldest; }
    bool empty() const { return size() == 0; }
    /// The oldest value kept; the others follow it.
    const T* data() const { return m_values.data() + m_nOldest; }
    /// [0] is the oldest value kept, [size() - 1] the newest.
    const T& operator[](size_t nIndex) const { return m_values[m_nOldest + nIndex]; }

private:
    std::vector<T> m_values;
    size_t m_nOldest = 0; ///< values before it were dropped
};

} // namespace dsp
