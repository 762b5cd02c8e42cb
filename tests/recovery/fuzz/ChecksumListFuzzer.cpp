// libFuzzer target: checksum lists of every kind (see Harnesses.h). Built
// with -DSHARDIX_BUILD_FUZZER=ON (scripts/fuzz-recovery.sh).

#include "tests/recovery/fuzz/Harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    shardix::fuzzing::checksumListOf(data, size);
    return 0;
}
