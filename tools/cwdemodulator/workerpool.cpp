#include "tools/cwdemodulator/workerpool.h"

namespace cw {

WorkerPool::WorkerPool(size_t nThreads)
{
    for (size_t t = 1; t < nThreads; ++t)
        m_helpers.emplace_back([this] { help(); });
}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_bStopping = true;
    }
    m_batchStarted.notify_all();
    for (std::thread& helper : m_helpers)
        helper.join();
}

void WorkerPool::Run(size_t nItems, const std::function<void(size_t)>& work)
{
    if (m_helpers.empty() || nItems <= 1) {
        for (size_t i = 0; i < nItems; ++i)
            work(i);
        return;
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_pWork = &work;
        m_nItems = nItems;
        m_nNextItem = 0;
        m_nItemsDone = 0;
        ++m_nBatch;
    }
    m_batchStarted.notify_all();
    workOnBatch();
    std::unique_lock<std::mutex> lock(m_lock);
    m_batchDone.wait(lock, [this] { return m_nItemsDone == m_nItems; });
    m_pWork = nullptr;
}

void WorkerPool::help()
{
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_batchStarted.wait(lock, [&] { return m_bStopping || m_nBatch != seen; });
            if (m_bStopping)
                return;
            seen = m_nBatch;
        }
        workOnBatch();
    }
}

void WorkerPool::workOnBatch()
{
    // Takes items until none is left; the last one done wakes the caller.
    std::unique_lock<std::mutex> lock(m_lock);
    while (m_pWork != nullptr && m_nNextItem < m_nItems) {
        const size_t item = m_nNextItem++;
        const std::function<void(size_t)>& work = *m_pWork;
        lock.unlock();
        work(item);
        lock.lock();
        if (++m_nItemsDone == m_nItems)
            m_batchDone.notify_all();
    }
}

} // namespace cw
