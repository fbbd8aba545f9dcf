#pragma once

#include "tools/cwdemodulator/workerlane.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace cw {

/// Threads kept for the life of their owner that run the lanes given work, each lane on one
/// thread at a time and its steps in order, while the owner goes on making more work. The
/// owner's thread is one of the threads: it helps when it has to wait (HelpOrWait), and
/// with one thread it does all the work itself. Lanes are taken in the order they were
/// given work, so that the oldest work is done first.
/// Life: create with the number of threads; per piece of work Lock(), Ready(); HelpOrWait()
/// until what the owner waits for is delivered; destroy after the last lane is done.
class WorkerPool
{
public:
    /// @p nThreads: threads that work, the owner's included (at least one).
    explicit WorkerPool(size_t nThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    size_t Threads() const { return m_helpers.size() + 1; }

    /// The lock under which steps are handed to lanes and their results collected.
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_lock); }
    /// @p lane was handed steps (the caller holds Lock()): a thread will run it.
    void Ready(WorkerLane& lane);
    /// Deliveries so far (the caller holds Lock()): it changes whenever a lane delivered.
    std::uint64_t Deliveries() const { return m_nDeliveries; }

    /// Runs one waiting lane on the caller's thread; or, when none waits, waits until a lane
    /// delivers unless the deliveries already differ from @p nSeen. Returns false when there
    /// is nothing at all to run or wait for.
    bool HelpOrWait(std::uint64_t nSeen);

private:
    void help();
    void runLane(WorkerLane& lane, std::unique_lock<std::mutex>& lock);

    std::vector<std::thread> m_helpers;
    std::mutex m_lock;
    std::condition_variable m_workWaiting;
    std::condition_variable m_delivered;
    std::deque<WorkerLane*> m_queue;
    size_t m_nRunning = 0;
    std::uint64_t m_nDeliveries = 0;
    bool m_bStopping = false;
};

} // namespace cw
