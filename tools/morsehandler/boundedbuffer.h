#pragma once

#include <QtGlobal>

#include <climits>

namespace morse {

/// A first-in first-out run of items (the characters of a QString, the elements of a QVector)
/// that drops its oldest items to stay within a limit. The one bounded buffer of the library:
/// the Morse handler's symbol buffer and code list and the mapping directory's history.
///
/// How the dropped front leaves the container is chosen per buffer:
/// - Compaction::Live: at once, so that the container always holds exactly the items and can be
///   lent out by reference and stay current; each trim costs one move of the rest.
/// - Compaction::Deferred: once the dropped front is as long as the rest, so that each item is
///   moved at most once on average; the container is made exact only when it is asked for.
template <class Container> class BoundedBuffer
{
public:
    using Item = typename Container::value_type;
    enum class Compaction
    {
        Live,
        Deferred
    };

    /// Empty, holding at most @p nLimit items (at least one).
    BoundedBuffer(int nLimit, Compaction eCompaction)
        : m_nLimit(qMax(1, nLimit)), m_eCompaction(eCompaction)
    {
    }

    int limit() const { return m_nLimit; }
    /// Takes effect with the next append; @p nLimit < 0 means no limit.
    void setLimit(int nLimit) { m_nLimit = nLimit < 0 ? INT_MAX : nLimit; }
    int size() const { return m_container.size() - m_nStart; }
    bool isEmpty() const { return size() == 0; }

    /// Appends @p item and drops the oldest items beyond the limit; how many were dropped.
    int push(const Item& item)
    {
        m_container.append(item);
        return trim();
    }
    /// Appends @p items and drops the oldest items beyond the limit; how many were dropped.
    int append(const Container& items)
    {
        m_container.append(items);
        return trim();
    }
    /// The oldest item; the buffer must not be empty.
    Item front() const { return m_container.at(m_nStart); }
    /// Drops the @p nCount oldest items (all of them when there are fewer).
    void dropFront(int nCount)
    {
        m_nStart += qBound(0, nCount, size());
        compact(m_eCompaction == Compaction::Live ? 1 : qMax(1, size()));
    }
    void clear()
    {
        m_container.resize(0);
        m_nStart = 0;
    }
    /// The items, oldest first, as contiguous memory of size() items.
    const Item* data() const { return m_container.constData() + m_nStart; }
    /// The items as one container. A Live buffer hands out its container, which callers may
    /// hold by reference: it always holds the current items.
    const Container& container()
    {
        compact(1);
        return m_container;
    }
    /// Only for a Live buffer, whose container is always exact.
    const Container& liveContainer() const
    {
        Q_ASSERT(m_eCompaction == Compaction::Live);
        return m_container;
    }

private:
    int trim()
    {
        const int nExcess = size() - m_nLimit;
        if (nExcess <= 0)
            return 0;
        dropFront(nExcess);
        return nExcess;
    }
    /// Removes the dropped front once it is at least @p nThreshold items long.
    void compact(int nThreshold)
    {
        if (m_nStart < nThreshold)
            return;
        m_container.remove(0, m_nStart);
        m_nStart = 0;
    }

    Container m_container;
    int m_nStart = 0; // index of the oldest item in m_container
    int m_nLimit;
    Compaction m_eCompaction;
};

} // namespace morse
