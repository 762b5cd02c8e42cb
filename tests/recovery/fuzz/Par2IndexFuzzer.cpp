// libFuzzer target: a recovery index and its volumes (see Harnesses.h).
// Built with -DSHARDIX_BUILD_FUZZER=ON (scripts/fuzz-recovery.sh).

#include "tests/recovery/fuzz/Harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Refused or put together, the set is dropped: what counts is that
    // neither crashes, leaks or reads out of bounds.
    (void)shardix::fuzzing::recoverySetOf(data, size);
    return 0;
}
