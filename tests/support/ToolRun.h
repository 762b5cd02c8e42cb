#pragma once

#include "tests/support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace shardix::testing {

// Runs `commands` with /bin/sh in `folder`; their exit status.
inline int runIn(const std::string& folder, const std::string& commands) {
    const int status = std::system(("cd '" + folder + "' && { " + commands + "\n}").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The names in `folder` but those of `leaveOut`, as split orders its pieces:
// by length, then by their bytes.
inline std::vector<std::string> namesIn(const std::string& folder,
                                        const std::set<std::string>& leaveOut = {}) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        std::string name = item.path().filename().string();
        if (!leaveOut.count(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

} // namespace shardix::testing
