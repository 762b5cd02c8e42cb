#include "engines/recovery/WorkerPool.h"
#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/GfKernel.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <optional>
#include <thread>

using namespace shardix;
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
                5, [&, j, s](std::size_t, unsigned) -> shardix::Result<> {
                    const int at = clock++;
                    int seen = started[j][s];
                    while (at < seen && !started[j][s].compare_exchange_weak(seen, at)) {
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(s == 2 ? 20000 : 200));
                    const int end = clock++;
                    seen = ended[j][s];
                    while (end > seen && !ended[j][s].compare_exchange_weak(seen, end)) {
                    }
                    return {};
                }});
        stages[0].overlapsPrevious = j % 3 != 0; // every third job waits for the one before
        jobs.push_back(pool.submit(std::move(stages)));
    }
    for (const auto& job : jobs)
        ASSERT_TRUE(pool.wait(job).ok());
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

// One task of a job's first stage fails: wait() returns its Error, the tasks
// of the job not yet begun (its later stage too) do not run, and the jobs
// before and after it, on the same threads, run whole and succeed.
TEST(WorkerPool, AFailingTaskStopsItsJobAndOnlyItsJob) {
    WorkerPool pool(3);
    constexpr std::size_t kTasks = 200;
    std::atomic<int> ranBefore{0}, ranFirst{0}, ranSecond{0}, ranAfter{0};
    auto counting = [](std::atomic<int>& ran) {
        return [&ran](std::size_t, unsigned) -> Result<> {
            ++ran;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            return {};
        };
    };
    const auto before = pool.submit({WorkerPool::Stage{kTasks, counting(ranBefore)}});
    const auto failing = pool.submit(
        {WorkerPool::Stage{kTasks,
                           [&](std::size_t index, unsigned) -> Result<> {
                               ++ranFirst;
                               if (index == 5)
                                   return Error::of(ErrorKind::DeviceIo, "task 5 failed");
                               std::this_thread::sleep_for(std::chrono::milliseconds(1));
                               return {};
                           },
                           true},
         WorkerPool::Stage{kTasks, counting(ranSecond)}});
    const auto after = pool.submit({WorkerPool::Stage{kTasks, counting(ranAfter), true}});

    EXPECT_TRUE(pool.wait(before).ok());
    const Result<> failed = pool.wait(failing);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().kind, ErrorKind::DeviceIo);
    EXPECT_EQ(failed.error().message, "task 5 failed");
    EXPECT_TRUE(pool.wait(after).ok());
    EXPECT_EQ(ranBefore, static_cast<int>(kTasks));
    EXPECT_EQ(ranAfter, static_cast<int>(kTasks));
    // Those begun before the failure was known: a few past the sixth.
    EXPECT_GE(ranFirst, 6);
    EXPECT_LT(ranFirst, static_cast<int>(kTasks / 2));
    EXPECT_EQ(ranSecond, 0);
    // The pool goes on working after a failure.
    EXPECT_TRUE(pool.run(kTasks, counting(ranAfter)).ok());
    EXPECT_EQ(ranAfter, static_cast<int>(2 * kTasks));
}

// What a task throws comes back from wait() as an Error, the first one when
// several fail: a shortage of memory as the engines tell it, and neither
// ends the program nor is lost.
TEST(WorkerPool, WhatATaskThrowsComesBackAsAnError) {
    WorkerPool pool(2);
    const Result<> memory = pool.run(4, [](std::size_t index, unsigned) -> Result<> {
        if (index == 0)
            throw std::bad_alloc();
        return {};
    });
    ASSERT_FALSE(memory.ok());
    EXPECT_EQ(memory.error().kind, ErrorKind::Internal);
    EXPECT_EQ(memory.error().message, "There is not enough memory to go on.");

    WorkerPool single(1);
    const Result<> first = single.run(3, [](std::size_t index, unsigned) -> Result<> {
        if (index == 0)
            return Error::of(ErrorKind::Mismatch, "the first");
        return Error::of(ErrorKind::DeviceIo, "a later one");
    });
    ASSERT_FALSE(first.ok());
    EXPECT_EQ(first.error().message, "the first");
    EXPECT_TRUE(single.run(3, [](std::size_t, unsigned) -> Result<> { return {}; }).ok());
}

// A batch's own task fails: the accumulator gives the Error back from the
// add() that waits for that batch, or from end(), and a group begun after it
// works.
TEST(BlockAccumulator, GivesBackTheFailureOfABatchTask) {
    const auto kernel = makeGfKernel("portable");
    ASSERT_TRUE(kernel);
    WorkerPool pool(2);
    constexpr std::uint64_t kBlockSize = 256;
    BlockAccumulator accumulator(*kernel, pool, kBlockSize, 4);
    auto factor = [](std::uint32_t, std::size_t) { return std::uint16_t{1}; };
    auto failing = [](std::vector<BlockAccumulator::Input> batch) {
        const std::uint32_t tag = batch.front().tag;
        return std::vector<WorkerPool::Stage>{
            WorkerPool::Stage{batch.size(), [tag](std::size_t, unsigned) -> Result<> {
                                  if (tag == 4) // the second batch
                                      return Error::of(ErrorKind::Mismatch, "batch 2 failed");
                                  return {};
                              }}};
    };
    ASSERT_TRUE(accumulator.begin(1, factor, failing).ok());
    std::optional<Error> failure;
    for (std::uint32_t tag = 0; tag < 12 && !failure; ++tag) {
        std::memset(accumulator.inputBuffer(), 1, kBlockSize);
        if (Result<> added = accumulator.add(tag, kBlockSize); !added.ok())
            failure = added.error();
    }
    if (!failure) {
        if (Result<> ended = accumulator.end(); !ended.ok())
            failure = ended.error();
    }
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "batch 2 failed");

    // The same blocks again, no task failing: each output byte is the XOR of
    // twelve ones (factor 1), zero.
    ASSERT_TRUE(accumulator.begin(1, factor).ok());
    for (std::uint32_t tag = 0; tag < 12; ++tag) {
        std::memset(accumulator.inputBuffer(), 1, kBlockSize);
        ASSERT_TRUE(accumulator.add(tag, kBlockSize).ok());
    }
    std::memset(accumulator.inputBuffer(), 3, kBlockSize);
    ASSERT_TRUE(accumulator.add(12, kBlockSize).ok());
    ASSERT_TRUE(accumulator.end().ok());
    for (std::uint64_t b = 0; b < kBlockSize; ++b)
        ASSERT_EQ(accumulator.output(0)[b], 3) << b;
}

} // namespace
