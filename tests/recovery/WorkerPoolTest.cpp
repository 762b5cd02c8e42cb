#include "engines/recovery/WorkerPool.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace shardix::par2;

namespace {

// Jobs in a row, each of three stages whose tasks note when they start and end
// (the last stage's tasks slow):
// a job's first stage may start once the job before is in its last stage (when
// it allows that), never sooner, and its other stages only when the job before
// has finished.
TEST(WorkerPool, AFirstStageOverlapsOnlyTheLastStageOfTheJobBefore) {
    WorkerPool pool(4);
    constexpr int kJobs = 12;
    std::atomic<int> clock{0};
    // Per job and stage: the first start and the last end, by the clock.
    std::atomic<int> started[kJobs][3], ended[kJobs][3];
    for (int j = 0; j < kJobs; ++j)
        for (int s = 0; s < 3; ++s) {
            started[j][s] = 1 << 30;
            ended[j][s] = -1;
        }
    std::vector<std::shared_ptr<WorkerPool::Job>> jobs;
    for (int j = 0; j < kJobs; ++j) {
        std::vector<WorkerPool::Stage> stages;
        for (int s = 0; s < 3; ++s)
            stages.push_back(WorkerPool::Stage{
                5, [&, j, s](std::size_t, unsigned) {
                    const int at = clock++;
                    int seen = started[j][s];
                    while (at < seen && !started[j][s].compare_exchange_weak(seen, at)) {
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(s == 2 ? 20000 : 200));
                    const int end = clock++;
                    seen = ended[j][s];
                    while (end > seen && !ended[j][s].compare_exchange_weak(seen, end)) {
                    }
                }});
        stages[0].overlapsPrevious = j % 3 != 0; // every third job waits for the one before
        jobs.push_back(pool.submit(std::move(stages)));
    }
    for (const auto& job : jobs)
        pool.wait(job);
    int overlapped = 0;
    for (int j = 1; j < kJobs; ++j) {
        // Never before the job before is in its last stage; its later stages
        // never before the job before has ended.
        EXPECT_GT(started[j][0], ended[j - 1][1]) << j;
        EXPECT_GT(started[j][1], ended[j - 1][2]) << j;
        if (j % 3 == 0)
            EXPECT_GT(started[j][0], ended[j - 1][2]) << j;
        else if (started[j][0] < ended[j - 1][2])
            ++overlapped;
    }
    EXPECT_GT(overlapped, 0); // threads are free while the fifth task of a last stage runs
}

} // namespace
