#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace morse {

/// First-in first-out queue of Morse symbol codes with an upper bound: once full, a new code
/// pushes the oldest one out. A ring buffer, so that steady use allocates nothing.
class SymbolQueue
{
public:
    explicit SymbolQueue(int nLimit) : m_nLimit(static_cast<size_t>(std::max(1, nLimit))) {}

    /// Appends @p nCode; false when the oldest code had to be dropped to make room.
    bool push(int nCode)
    {
        bool bKeptAll = true;
        if (m_nCount == m_vecRing.size()) {
            if (m_vecRing.size() < m_nLimit) {
                grow();
            } else {
                pop();
                bKeptAll = false;
            }
        }
        m_vecRing[(m_nHead + m_nCount) % m_vecRing.size()] = nCode;
        ++m_nCount;
        return bKeptAll;
    }
    bool isEmpty() const { return m_nCount == 0; }
    int size() const { return static_cast<int>(m_nCount); }
    int limit() const { return static_cast<int>(m_nLimit); }
    /// The oldest code; the queue must not be empty.
    int front() const { return m_vecRing[m_nHead]; }
    void pop()
    {
        if (m_nCount == 0)
            return;
        m_nHead = (m_nHead + 1) % m_vecRing.size();
        --m_nCount;
    }
    void clear()
    {
        m_nHead = 0;
        m_nCount = 0;
    }

private:
    void grow()
    {
        const size_t nNewSize = std::min(m_nLimit, std::max<size_t>(16, m_vecRing.size() * 2));
        std::vector<int> vecNew(nNewSize);
        for (size_t i = 0; i < m_nCount; ++i)
            vecNew[i] = m_vecRing[(m_nHead + i) % m_vecRing.size()];
        m_vecRing.swap(vecNew);
        m_nHead = 0;
    }

    std::vector<int> m_vecRing;
    size_t m_nHead = 0;
    size_t m_nCount = 0;
    size_t m_nLimit;
};

} // namespace morse
