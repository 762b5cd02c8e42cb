#pragma once

#include "engines/checksums/Hasher.h"
#include "errors/Result.h"
#include "tests/support/RecordingProgress.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

namespace shardix::testing {

using Strings = std::vector<std::string>;

// 1, 2, ... `count`.
inline std::vector<int> upTo(int count) {
    std::vector<int> numbers(count);
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

// `prefix` followed by each of the numbers: the names of segments.
inline Strings named(const std::string& prefix, const std::vector<int>& numbers) {
    Strings names;
    for (int n : numbers)
        names.push_back(prefix + std::to_string(n));
    return names;
}

// The bytes of the files one after the other.
inline std::string joined(const Strings& paths) {
    std::string bytes;
    for (const auto& p : paths)
        bytes += readFile(p);
    return bytes;
}

// The message of a run that failed; empty for one that did everything.
inline std::string failure(const Result<>& result) {
    return result.ok() ? std::string() : result.error().message;
}

// The SHA-256 of `bytes` in hexadecimal, as sha256sum writes it.
inline std::string sha256(const std::string& bytes) {
    const std::unique_ptr<Hasher> sum = Hasher::make(HashAlgorithm::Sha256).value();
    sum->update(bytes.data(), bytes.size());
    return sum->digest();
}

// A folder of its own and a recording observer for each test. One type for
// every file of a test program, so that the tests of the suite "Engine" may
// lie in several.
struct Engine : ::testing::Test {
    TempDir dir;
    RecordingProgress ui;
};

} // namespace shardix::testing
