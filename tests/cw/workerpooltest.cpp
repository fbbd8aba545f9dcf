// The skimmer's worker threads: every item of every batch runs once, whatever the number of
// threads and items, and the pool ends cleanly with or without work.

#include "tools/cwdemodulator/workerpool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

TEST(WorkerPool, RunsEachItemOfEachBatchExactlyOnce)
{
    for (size_t threads : {1, 2, 4}) {
        cw::WorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        for (size_t items : {0, 1, 2, 3, 17, 200}) {
            std::vector<std::atomic<int>> runs(items);
            for (int batch = 0; batch < 20; ++batch)
                pool.Run(items, [&runs](size_t i) { runs[i].fetch_add(1); });
            for (size_t i = 0; i < items; ++i)
                EXPECT_EQ(runs[i].load(), 20) << threads << " threads, item " << i;
        }
    }
}

TEST(WorkerPool, ReturnsOnlyWhenTheBatchIsDone)
{
    // Uneven items: the caller must wait for the slowest before reading the results.
    cw::WorkerPool pool(2);
    std::vector<long> sums(8, 0);
    pool.Run(sums.size(), [&sums](size_t i) {
        long sum = 0;
        for (long k = 0; k < long(i + 1) * 100000; ++k)
            sum += k % 7;
        sums[i] = sum;
    });
    for (size_t i = 0; i < sums.size(); ++i)
        EXPECT_GT(sums[i], 0) << i;
}

TEST(WorkerPool, EndsWithoutAnyBatch)
{
    cw::WorkerPool pool(3);
    SUCCEED();
}

} // namespace
