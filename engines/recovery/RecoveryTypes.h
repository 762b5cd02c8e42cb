#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace shardix {

// Why a recovery run failed or refused its input, for its caller to show.
struct RecoveryProblem {
    std::string message; // the sentence the user sees; it names the file
    std::string file;    // the file it is about, when there is one
    int systemError = 0; // errno of the system call that failed, 0 when none did
};

// The bytes of recovery blocks (or of blocks being rebuilt) that a run holds
// in memory at once; beyond it the work is done in several passes over the input.
inline constexpr std::int64_t kRecoveryMemory = 256 << 20;

// What the caller of a recovery run can see and change while it runs.
struct RecoveryControl {
    // Told on the caller's own thread, as the work advances, how many of the
    // run's bytes (read, computed and written) are done out of `total`.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    // Set, from any thread or a signal handler, to stop the run at its next
    // block: it removes what it had written, changes nothing, and reports that
    // it was stopped.
    const std::atomic<bool>* stop = nullptr;
    // The multiply-add kernel ("portable", "gf-complete", "avx2", "avx512bw",
    // "gfni-avx2", "gfni-avx512"); empty for the fastest this processor has.
    std::string kernel;
    // Threads that compute; 0 for one per processor.
    unsigned threads = 0;
    // See kRecoveryMemory.
    std::int64_t memory = kRecoveryMemory;
};

} // namespace shardix
