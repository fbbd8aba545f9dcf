#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace dsp {

/// The latest values of a stream, up to a fixed capacity: each Push() beyond it overwrites
/// the oldest. Indexing is by age, [0] the oldest value kept and [size() - 1] the newest;
/// FromNewest() counts the other way. Values leave at either end too (PopOldest(),
/// PopNewest()), so that it also serves as a bounded double-ended queue (a sliding window's
/// running extreme).
///
/// The storage grows with the values up to the capacity, so that a short stream does not pay
/// for a long one's memory; Fill() takes all of it at once. The values sit in two contiguous
/// stretches, Older() then Newer(), for callers that copy or scan them in bulk.
template <typename T> class RingBuffer
{
public:
    /// A stretch of contiguous values.
    struct Part
    {
        const T* pValues;
        size_t nCount;
        const T* begin() const { return pValues; }
        const T* end() const { return pValues + nCount; }
    };

    RingBuffer() = default;
    explicit RingBuffer(size_t nCapacity) { Reset(nCapacity); }

    /// Empties the ring and sets its capacity (0 keeps nothing: every value is dropped).
    void Reset(size_t nCapacity)
    {
        m_values.clear();
        m_values.shrink_to_fit();
        m_nCapacity = nCapacity;
        m_nOldest = m_nSize = 0;
    }
    /// Empties the ring, keeping its capacity and memory.
    void Clear()
    {
        m_values.clear();
        m_nOldest = m_nSize = 0;
    }
    /// Takes the memory of the whole capacity now, for a ring that is to fill anyway: its
    /// values then never move as it grows.
    void Reserve() { m_values.reserve(m_nCapacity); }
    /// Fills the whole capacity with @p value: a delay line that starts out full.
    void Fill(const T& value)
    {
        m_values.assign(m_nCapacity, value);
        m_nOldest = 0;
        m_nSize = m_nCapacity;
    }

    /// Adds @p value as the newest; when full, the oldest leaves.
    void Push(const T& value)
    {
        if (m_nSize == m_nCapacity) {
            if (m_nCapacity == 0)
                return;
            m_values[m_nOldest] = value;
            m_nOldest = wrapped(m_nOldest + 1);
            return;
        }
        const size_t at = wrapped(m_nOldest + m_nSize);
        if (at == m_values.size())
            m_values.push_back(value);
        else
            m_values[at] = value;
        ++m_nSize;
    }
    /// Makes room for a new newest value, as Push() does, and returns it to be set member by
    /// member; the capacity must not be 0. A structure built whole and pushed is written in
    /// parts and read back in one piece for the copy, which stalls the store; set in place, it
    /// is only written.
    T& PushInPlace()
    {
        if (m_nSize == m_nCapacity) {
            T& oldest = m_values[m_nOldest];
            m_nOldest = wrapped(m_nOldest + 1);
            return oldest;
        }
        const size_t at = wrapped(m_nOldest + m_nSize);
        ++m_nSize;
        if (at == m_values.size())
            return m_values.emplace_back();
        return m_values[at];
    }
    /// Adds @p nCount values, oldest first, as Push() would one by one.
    void Push(const T* pValues, size_t nCount)
    {
        if (m_nOldest == 0 && m_values.size() == m_nSize) {
            // Not wrapped yet: the storage grows by the values that fit.
            const size_t take = std::min(nCount, m_nCapacity - m_nSize);
            m_values.insert(m_values.end(), pValues, pValues + take);
            m_nSize += take;
            pValues += take;
            nCount -= take;
        }
        for (; nCount > 0 && m_nSize < m_nCapacity; --nCount)
            Push(*pValues++);
        while (nCount > 0 && m_nCapacity > 0) {
            const size_t take = std::min(nCount, m_nCapacity - m_nOldest);
            std::copy(pValues, pValues + take, m_values.begin() + std::ptrdiff_t(m_nOldest));
            m_nOldest = wrapped(m_nOldest + take);
            pValues += take;
            nCount -= take;
        }
    }
    /// Drops the oldest value; the ring must not be empty.
    void PopOldest()
    {
        m_nOldest = wrapped(m_nOldest + 1);
        --m_nSize;
    }
    /// Drops the newest value; the ring must not be empty.
    void PopNewest() { --m_nSize; }

    size_t size() const { return m_nSize; }
    size_t capacity() const { return m_nCapacity; }
    bool empty() const { return m_nSize == 0; }
    bool full() const { return m_nSize == m_nCapacity; }

    /// The value of age @p nAge: 0 is the oldest kept.
    const T& operator[](size_t nAge) const { return m_values[wrapped(m_nOldest + nAge)]; }
    /// The value @p nAge pushes before the newest: 0 is the newest.
    const T& FromNewest(size_t nAge) const { return (*this)[m_nSize - 1 - nAge]; }
    const T& Oldest() const { return m_values[m_nOldest]; }
    const T& Newest() const { return FromNewest(0); }

    /// The older stretch of the values, from the oldest on; Newer() continues it.
    Part Older() const
    {
        return {m_values.data() + m_nOldest, std::min(m_nSize, m_nCapacity - m_nOldest)};
    }
    Part Newer() const { return {m_values.data(), m_nSize - Older().nCount}; }
    /// Calls @p f with each value, oldest first.
    template <typename F> void ForEach(F f) const
    {
        for (const T& value : Older())
            f(value);
        for (const T& value : Newer())
            f(value);
    }

private:
    /// @p nIndex, at most twice the capacity, brought into the storage.
    size_t wrapped(size_t nIndex) const
    {
        return nIndex >= m_nCapacity ? nIndex - m_nCapacity : nIndex;
    }

    std::vector<T> m_values;
    size_t m_nCapacity = 0;
    size_t m_nOldest = 0; ///< storage index of the oldest value
    size_t m_nSize = 0;
};

} // namespace dsp
