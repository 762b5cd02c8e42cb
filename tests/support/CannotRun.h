#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace shardix::testing {

// Whether the tests run in CI (CI=true), which runs as root and installs every
// tool the tests use.
inline bool inCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

} // namespace shardix::testing

// Ends a test that cannot run here for want of root or of a tool: skipped on a
// developer's machine, failed in CI, where a skip would pass without checking.
#define SHARDIX_CANNOT_RUN(why)                                                                    \
    do {                                                                                           \
        if (::shardix::testing::inCi())                                                            \
            GTEST_FAIL() << "cannot run in CI, which should have all it needs: " << (why);         \
        else                                                                                       \
            GTEST_SKIP() << (why);                                                                 \
    } while (false)

// Ends a test whose place to run (a LoopMount, or anything with its refusal()
// and lacking()) could not be made: for want of root or of a tool as
// SHARDIX_CANNOT_RUN does; for want of the system's support (a kernel without
// the file system), skipped everywhere.
#define SHARDIX_NEEDS_PLACE(place)                                                                 \
    do {                                                                                           \
        if ((place).lacking())                                                                     \
            SHARDIX_CANNOT_RUN((place).refusal());                                                 \
        if (!(place).refusal().empty())                                                            \
            GTEST_SKIP() << (place).refusal();                                                     \
    } while (false)
