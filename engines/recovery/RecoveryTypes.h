#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shardix {

struct RecoveryReport;

// The bytes of recovery blocks (or of blocks being rebuilt) that a run holds
// in memory at once; beyond it the work is done in several passes over the input.
inline constexpr std::int64_t kRecoveryMemory = 256 << 20;

// What the caller of a recovery run can see and change while it runs.
struct RecoveryControl {
    // Told on the caller's own thread, as the work advances, how many of the
    // run's bytes (read, computed and written) are done out of `total`.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    // Told on the caller's own thread what a repair's verification found,
    // before the repair changes anything: the report of verifyRecovery(). A
    // repair that then fails returns its Error, and this is what the caller
    // has of the files.
    std::function<void(const RecoveryReport& verified)> verified;
    // Set, from any thread or a signal handler, to stop the run at its next
    // block: it removes what it had written, changes nothing, and fails with
    // ErrorKind::Stopped.
    const std::atomic<bool>* stop = nullptr;
    // The multiply-add kernel ("portable", "gf-complete", "avx2", "avx512bw",
    // "gfni-avx2", "gfni-avx512"); empty for the fastest this processor has.
    std::string kernel;
    // Threads that compute; 0 for one per processor.
    unsigned threads = 0;
    // See kRecoveryMemory.
    std::int64_t memory = kRecoveryMemory;
    // Further files (paths) that verification and repair search for the
    // set's blocks when some are not in place: misnamed or moved pieces.
    std::vector<std::string> searchFiles;
    // Creation: the pieces streamed are in memory already (the page cache),
    // so no read of theirs waits for a disk: the encoder fills a batch of
    // input blocks and then computes it, in half the memory of two batches
    // that overlap the reads. (Repair finds that out for itself.)
    bool inputInMemory = false;

    bool stopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
};

} // namespace shardix
