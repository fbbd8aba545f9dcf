#pragma once

namespace cw {

class WorkerPool;

/// Work that must be done in order, one piece after another, on whichever thread of a
/// WorkerPool comes free: the steps of one skimmer channel. The owner hands steps over and
/// collects what they delivered under the pool's lock; the pool runs a lane on one thread at
/// a time, so the lane's own state needs no lock of its own.
class WorkerLane
{
public:
    virtual ~WorkerLane() = default;

protected:
    /// Under the pool's lock: takes over the steps handed over so far.
    virtual void take() = 0;
    /// Without the lock, on one thread at a time: does the steps taken.
    virtual void run() = 0;
    /// Under the pool's lock: hands out what run() produced.
    virtual void deliver() = 0;

private:
    friend class WorkerPool;
    bool m_bQueued = false;  ///< waiting in the pool's queue
    bool m_bRunning = false; ///< a thread works on it
    bool m_bHanded = false;  ///< steps were handed over since the last take()
};

} // namespace cw
