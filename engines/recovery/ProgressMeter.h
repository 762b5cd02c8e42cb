#pragma once

#include "engines/recovery/RecoveryTypes.h"
#include "engines/recovery/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

namespace shardix::par2 {

// Bytes done out of a total, counted on any thread, told on the caller's
// whenever they have grown by a step.
class ProgressMeter {
  public:
    explicit ProgressMeter(const RecoveryControl& control) : control_(control) {}
    void addTotal(std::int64_t bytes) { total_ += bytes; }
    void add(std::int64_t bytes) { done_.fetch_add(bytes, std::memory_order_relaxed); }
    void report(bool force = false) {
        const std::int64_t done = std::min(done_.load(), total_);
        if (control_.progress && done != reported_ &&
            (force || done - reported_ >= kStep || done == total_)) {
            reported_ = done;
            control_.progress(done, total_);
        }
    }
    // Waits for `job`, telling the progress meanwhile and, when it has not
    // failed, at its end; the job's Error.
    Result<> wait(WorkerPool& pool, const std::shared_ptr<WorkerPool::Job>& job) {
        while (!pool.waitFor(job, 100))
            report();
        Result<> done = pool.wait(job);
        if (done.ok())
            report(true);
        return done;
    }

  private:
    static constexpr std::int64_t kStep = 4 << 20;
    const RecoveryControl& control_;
    std::atomic<std::int64_t> done_{0};
    std::int64_t total_ = 0;
    std::int64_t reported_ = -kStep;
};

} // namespace shardix::par2
