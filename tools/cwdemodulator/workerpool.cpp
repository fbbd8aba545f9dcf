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
    m_workWaiting.notify_all();
    for (std::thread& helper : m_helpers)
        helper.join();
}

void WorkerPool::Ready(WorkerLane& lane)
{
    lane.m_bHanded = true;
    if (lane.m_bQueued || lane.m_bRunning)
        return;
    lane.m_bQueued = true;
    m_queue.push_back(&lane);
    if (!m_helpers.empty())
        m_workWaiting.notify_one();
}

bool WorkerPool::HelpOrWait(std::uint64_t nSeen)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_queue.empty()) {
        WorkerLane& lane = *m_queue.front();
        m_queue.pop_front();
        runLane(lane, lock);
        return true;
    }
    if (m_nRunning == 0)
        return m_nDeliveries != nSeen;
    m_delivered.wait(lock,
                     [&] { return m_nDeliveries != nSeen || !m_queue.empty() || m_nRunning == 0; });
    return true;
}

void WorkerPool::help()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_workWaiting.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
        if (m_bStopping)
            return;
        WorkerLane& lane = *m_queue.front();
        m_queue.pop_front();
        runLane(lane, lock);
    }
}

void WorkerPool::runLane(WorkerLane& lane, std::unique_lock<std::mutex>& lock)
{
    // The lane's steps run without the lock; steps handed over meanwhile queue it again.
    lane.m_bQueued = false;
    lane.m_bHanded = false;
    lane.m_bRunning = true;
    ++m_nRunning;
    lane.take();
    lock.unlock();
    lane.run();
    lock.lock();
    lane.deliver();
    lane.m_bRunning = false;
    --m_nRunning;
    ++m_nDeliveries;
    if (lane.m_bHanded) {
        lane.m_bQueued = true;
        m_queue.push_back(&lane);
        if (!m_helpers.empty())
            m_workWaiting.notify_one();
    }
    m_delivered.notify_all();
}

} // namespace cw
