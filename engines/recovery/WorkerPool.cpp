#include "engines/recovery/WorkerPool.h"

#include <algorithm>
#include <chrono>

namespace shardix::par2 {

namespace {

// Moves past stages without tasks; true when none is left.
bool skipEmptyStages(WorkerPool::Job& job) {
    while (job.stage < job.stages.size() && job.stages[job.stage].count == 0)
        ++job.stage;
    return job.stage == job.stages.size();
}

} // namespace

WorkerPool::WorkerPool(unsigned threads) {
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this, i] { work(i); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

std::shared_ptr<WorkerPool::Job> WorkerPool::submit(std::vector<Stage> stages) {
    auto job = std::make_shared<Job>();
    job->stages = std::move(stages);
    {
        std::lock_guard lock(mutex_);
        if (skipEmptyStages(*job)) {
            job->finished = true;
            return job;
        }
        queue_.push_back(job);
    }
    workReady_.notify_all();
    return job;
}

Result<> WorkerPool::wait(const std::shared_ptr<Job>& job) {
    std::unique_lock lock(mutex_);
    jobDone_.wait(lock, [&] { return job->finished; });
    if (job->error)
        return *job->error;
    return {};
}

bool WorkerPool::waitFor(const std::shared_ptr<Job>& job, int milliseconds) {
    std::unique_lock lock(mutex_);
    return jobDone_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&] { return job->finished; });
}

Result<> WorkerPool::run(std::size_t count, Task task) {
    return wait(submit({Stage{count, std::move(task)}}));
}

WorkerPool::Job* WorkerPool::ready() const {
    if (queue_.empty())
        return nullptr;
    Job& front = *queue_.front();
    if (front.next < front.stages[front.stage].count)
        return &front;
    // The front job's last stage is all handed out: the next job's first
    // stage may start when it allows it.
    if (front.stage + 1 != front.stages.size() || queue_.size() < 2)
        return nullptr;
    Job& second = *queue_[1];
    const bool overlaps = second.stage == 0 && second.stages[0].overlapsPrevious &&
                          second.next < second.stages[0].count;
    return overlaps ? &second : nullptr;
}

void WorkerPool::work(unsigned worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        workReady_.wait(lock, [&] { return stopping_ || ready() != nullptr; });
        Job* next = ready();
        if (!next) {
            if (stopping_)
                return;
            continue;
        }
        const auto at = std::find_if(queue_.begin(), queue_.end(),
                                     [next](const auto& queued) { return queued.get() == next; });
        std::shared_ptr<Job> job = *at;
        Stage& stage = job->stages[job->stage];
        const std::size_t index = job->next++;
        // After a failure the job's other tasks are only counted.
        if (!job->error) {
            lock.unlock();
            Result<> done = guarded([&] { return stage.task(index, worker); });
            lock.lock();
            if (!done.ok() && !job->error)
                job->error = done.error();
        }
        if (++job->done < stage.count)
            continue;
        stageDone(job);
    }
}

// The job's stage is complete: its next one, or the job is finished.
void WorkerPool::stageDone(const std::shared_ptr<Job>& job) {
    ++job->stage;
    job->next = 0;
    job->done = 0;
    if (skipEmptyStages(*job)) {
        job->finished = true;
        queue_.erase(std::find(queue_.begin(), queue_.end(), job));
        jobDone_.notify_all();
    }
    workReady_.notify_all();
}

} // namespace shardix::par2
