#pragma once

#include "errors/Result.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace shardix::par2 {

// Threads that run jobs, one job at a time in the order they were given
// (but for a first stage that overlaps the job before). A job is a list of
// stages run one after the other; the tasks of a stage run in parallel on
// every thread. A task that fails returns its Error (a shortage of memory in a
// task is one too): the job's tasks not yet begun are then skipped, and its
// wait() returns the first Error.
class WorkerPool {
  public:
    // `task(index, worker)`: index below `count`, worker below size().
    using Task = std::function<Result<>(std::size_t index, unsigned worker)>;
    struct Stage {
        std::size_t count = 0;
        Task task;
        // The first stage of a job only: its tasks may run while the job
        // before it runs its last stage (they touch nothing that stage does),
        // so that no thread waits at the end of every job.
        bool overlapsPrevious = false;
    };
    struct Job;

    // `threads` 0: one per processor.
    explicit WorkerPool(unsigned threads = 0);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned size() const { return static_cast<unsigned>(threads_.size()); }

    // Queues the stages as one job and returns at once.
    std::shared_ptr<Job> submit(std::vector<Stage> stages);
    // Waits until `job` has run; the first Error of its tasks.
    Result<> wait(const std::shared_ptr<Job>& job);
    // Waits at most `milliseconds`; true when `job` has run (wait() then
    // returns at once).
    bool waitFor(const std::shared_ptr<Job>& job, int milliseconds);
    // Runs `count` tasks and waits for them.
    Result<> run(std::size_t count, Task task);

  private:
    void work(unsigned worker);
    // The job whose next task may be handed out now, or null.
    Job* ready() const;
    void stageDone(const std::shared_ptr<Job>& job);

    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable jobDone_;
    std::deque<std::shared_ptr<Job>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

struct WorkerPool::Job {
    std::vector<Stage> stages;
    std::size_t stage = 0;
    std::size_t next = 0; // the next task of the stage to hand out
    std::size_t done = 0; // tasks of the stage finished
    bool finished = false;
    std::optional<Error> error; // the first task's that failed
};

} // namespace shardix::par2
