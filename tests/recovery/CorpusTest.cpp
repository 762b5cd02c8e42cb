#include "tests/recovery/RecoverySupport.h"
#include "tests/recovery/fuzz/Harnesses.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace shardix;
using namespace shardix::testing;
namespace fs = std::filesystem;

namespace {

// The fuzzers' regression corpora (scripts/fuzz-recovery.sh): the inputs of
// their runs that together reach every branch they found, and any input that
// made one fail, each given to its reader as the fuzzer gives it. A corpus
// that holds nothing, or is not there, fails: it would check nothing.
std::size_t replay(const std::string& corpus, const std::function<void(const std::string&)>& read) {
    std::size_t replayed = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(corpus, error)) {
        SCOPED_TRACE(entry.path().string());
        read(readFile(entry.path()));
        ++replayed;
    }
    return replayed;
}

const std::uint8_t* bytesOf(const std::string& input) {
    return reinterpret_cast<const std::uint8_t*>(input.data());
}

TEST(FuzzerCorpus, EveryRecoveryFileIsHandled) {
    const std::size_t replayed =
        replay(SHARDIX_RECOVERY_CORPUS "/par2", [](const std::string& input) {
            const Result<par2::RecoverySet> set =
                fuzzing::recoverySetOf(bytesOf(input), input.size());
            if (!set.ok()) {
                EXPECT_EQ(set.error().kind, ErrorKind::Refused);
                EXPECT_FALSE(set.error().message.empty());
            }
        });
    EXPECT_GT(replayed, 0u) << "the corpus " SHARDIX_RECOVERY_CORPUS "/par2 is empty";
}

TEST(FuzzerCorpus, EveryChecksumListIsHandled) {
    const std::size_t replayed =
        replay(SHARDIX_RECOVERY_CORPUS "/lists", [](const std::string& input) {
            const Manifest manifest = fuzzing::checksumListOf(bytesOf(input), input.size());
            // Every name read stays a name: no entry without one.
            for (const ManifestEntry& entry : manifest.entries)
                EXPECT_FALSE(entry.name.empty());
        });
    EXPECT_GT(replayed, 0u) << "the corpus " SHARDIX_RECOVERY_CORPUS "/lists is empty";
}

} // namespace
