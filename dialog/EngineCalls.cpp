#include "dialog/EngineCalls.h"

#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"

namespace shardix {

EngineCalls::EngineCalls() {
    segment = [](const std::string& source, const std::string& basePath, int count,
                 RunProgress& progress, const SegmentOptions& options) {
        return segmentFile(source, basePath, count, progress, options);
    };
    assemble = [](const std::vector<std::string>& list, const std::string& target,
                  RunProgress& progress, const Checksums* expected) {
        return assembleFiles(list, target, progress, {kCopyChunk, expected});
    };
    append = [](const std::vector<std::string>& sources, const std::string& target,
                RunProgress& progress, const Checksums* expected) {
        return appendFile(sources, target, progress, {kCopyChunk, expected});
    };
}

} // namespace shardix
