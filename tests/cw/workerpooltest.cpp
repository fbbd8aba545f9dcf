// The skimmer's worker threads: each lane's steps run once, in order and on one thread at a
// time, whatever the number of threads, and the owner sees every result delivered.

#include "tools/cwdemodulator/workerpool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

/// Numbers its steps; a step that finds another thread in the lane spoils the count.
class CountingLane : public cw::WorkerLane
{
public:
    std::vector<int> handed;    ///< under the pool's lock
    std::vector<int> delivered; ///< under the pool's lock
    std::atomic<int> inside{0};
    bool overlapped = false;

protected:
    void take() override
    {
        m_running.swap(handed);
        handed.clear();
    }
    void run() override
    {
        overlapped |= inside.fetch_add(1) != 0;
        long sum = 0;
        for (int step : m_running) {
            for (long k = 0; k < (step % 7) * 20000; ++k)
                sum += k % 3; // uneven steps, as channels in acquisition are
            m_done.push_back(sum >= 0 ? step : -1);
        }
        m_running.clear();
        inside.fetch_sub(1);
    }
    void deliver() override
    {
        delivered.insert(delivered.end(), m_done.begin(), m_done.end());
        m_done.clear();
    }

private:
    std::vector<int> m_running;
    std::vector<int> m_done;
};

TEST(WorkerPool, RunsEachLanesStepsOnceInOrderOnOneThreadAtATime)
{
    for (size_t threads : {1, 2, 4}) {
        cw::WorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        std::vector<std::unique_ptr<CountingLane>> lanes;
        for (int i = 0; i < 9; ++i)
            lanes.push_back(std::make_unique<CountingLane>());
        constexpr int STEPS = 40;
        for (int step = 0; step < STEPS; ++step) {
            auto lock = pool.Lock();
            for (auto& lane : lanes) {
                lane->handed.push_back(step);
                pool.Ready(*lane);
            }
        }
        auto allDelivered = [&] {
            for (auto& lane : lanes) {
                if (lane->delivered.size() < STEPS)
                    return false;
            }
            return true;
        };
        for (;;) {
            std::uint64_t seen = 0;
            {
                auto lock = pool.Lock();
                seen = pool.Deliveries();
                if (allDelivered())
                    break;
            }
            ASSERT_TRUE(pool.HelpOrWait(seen)) << "work lost with " << threads << " threads";
        }
        auto lock = pool.Lock();
        for (auto& lane : lanes) {
            ASSERT_EQ(lane->delivered.size(), size_t(STEPS));
            for (int step = 0; step < STEPS; ++step)
                EXPECT_EQ(lane->delivered[size_t(step)], step) << threads << " threads";
            EXPECT_FALSE(lane->overlapped) << threads << " threads";
        }
    }
}

TEST(WorkerPool, HasNothingToWaitForWithoutWork)
{
    cw::WorkerPool pool(3);
    EXPECT_FALSE(pool.HelpOrWait(0));
}

} // namespace
