#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cw {

/// Threads kept for the life of their owner that run the items of one batch at a time: the
/// caller's thread works too, and Run() returns when every item is done. Items are handed
/// out one by one as threads come free, so that a costly item does not hold up the rest.
/// Life: create with the number of threads, Run() per batch, destroy.
class WorkerPool
{
public:
    /// @p nThreads: threads that work on a batch, the caller's included (at least one).
    explicit WorkerPool(size_t nThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    size_t Threads() const { return m_helpers.size() + 1; }
    /// Calls @p work(i) once for each i below @p nItems, on any of the threads.
    void Run(size_t nItems, const std::function<void(size_t)>& work);

private:
    void help();
    void workOnBatch();

    std::vector<std::thread> m_helpers;
    std::mutex m_lock;
    std::condition_variable m_batchStarted;
    std::condition_variable m_batchDone;
    const std::function<void(size_t)>* m_pWork = nullptr;
    size_t m_nItems = 0;
    size_t m_nNextItem = 0;
    size_t m_nItemsDone = 0;
    std::uint64_t m_nBatch = 0;
    bool m_bStopping = false;
};

} // namespace cw
