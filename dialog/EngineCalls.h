#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/io/RunProgress.h"
#include "engines/operations/Segmenter.h"
#include "errors/Result.h"

#include <functional>
#include <string>
#include <vector>

namespace shardix {

// The engine calls of the dialog's runs: the file engines themselves, unless
// tests put others in their place.
struct EngineCalls {
    EngineCalls();

    std::function<Result<>(const std::string& source, const std::string& basePath, int count,
                           RunProgress& progress, const SegmentOptions& options)>
        segment;
    // With checksums, from a manifest that lists the files, to check them against.
    std::function<Result<>(const std::vector<std::string>& fileList, const std::string& target,
                           RunProgress& progress, const Checksums* expected)>
        assemble;
    std::function<Result<>(const std::vector<std::string>& sources, const std::string& target,
                           RunProgress& progress, const Checksums* expected)>
        append;
};

} // namespace shardix
