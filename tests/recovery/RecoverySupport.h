#pragma once

// What the recovery engine's tests share: folders as they are, par2, the
// pieces' names, and assertions on the engine's results.

#include "errors/Result.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace shardix::testing {

using Bytes = std::map<std::string, std::string>;

// Every file of a folder by name with its bytes, links as "-> target" and
// folders as "<folder>".
inline Bytes snapshot(const std::string& folder) {
    namespace fs = std::filesystem;
    Bytes files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        files[name] = entry.is_symlink()     ? "-> " + fs::read_symlink(entry.path()).string()
                      : entry.is_directory() ? "<folder>"
                                             : readFile(entry.path());
    }
    return files;
}

inline bool havePar2() {
    return std::system("command -v par2 > /dev/null 2>&1") == 0;
}

// par2 ARGUMENTS run in `folder`; its exit status.
inline int par2(const std::string& folder, const std::string& arguments) {
    const int status =
        std::system(("cd '" + folder + "' && par2 " + arguments + " > /dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string pieceName(std::size_t i) {
    return "piece." + std::to_string(100 + i).substr(1); // par2 0.8.1 fails on 1-letter names
}

// Every piece of `folder` holds the bytes it was made with.
inline bool intact(const TempDir& folder, const std::vector<std::string>& pieces) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (readFile(folder / pieceName(i)) != pieces[i])
            return false;
    }
    return true;
}

// ASSERT_TRUE(succeeded(result)): the failure message is the Error's.
template <typename T>::testing::AssertionResult succeeded(const Result<T>& result) {
    if (result.ok())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << result.error().withFile();
}

// The result is an Error of `kind` whose message holds `text`.
template <typename T>
::testing::AssertionResult failedWith(const Result<T>& result, ErrorKind kind,
                                      const std::string& text) {
    if (result.ok())
        return ::testing::AssertionFailure() << "it succeeded; expected \"" << text << "\"";
    const Error& error = result.error();
    if (error.kind != kind || error.message.find(text) == std::string::npos)
        return ::testing::AssertionFailure()
               << "kind " << static_cast<int>(error.kind) << " (expected " << static_cast<int>(kind)
               << "): " << error.message;
    return ::testing::AssertionSuccess();
}

} // namespace shardix::testing
