#include "cli/SegmentCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/Existing.h"
#include "engines/names/ByteSize.h"
#include "engines/names/Count.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/Segmenter.h"

#include <CLI/CLI.hpp>

namespace shardix::cli {

CLI::App* SegmentCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("segment");
    addFlag(*command, "--force", force_);
    addFlag(*command, "--manifest", writeManifest_);
    addFlag(*command, "--quiet", quiet_);
    command->add_option("--size", size_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("SOURCE", source_)->required();
    command->add_option("BASEPATH", basePath_)->required();
    command->add_option("COUNT", count_);
    return command;
}

int SegmentCommand::run() {
    if (const std::optional<UsageError> usage = misuse())
        return exitWith(*usage);
    const std::optional<int> count = size_.empty() ? parseCount(count_) : std::optional<int>();
    if (count && *count < 2)
        return exitWith(Error::of(ErrorKind::Refused,
                                  "The number of pieces must be greater than one.  Please enter "
                                  "a number greater than one."));
    if (const Result<> refused = refusedOutputs(); !refused.ok())
        return exitWith(refused.error());
    ConsoleProgress progress("segment", quiet_);
    return exitWith(cut(count, progress), progress);
}

std::optional<UsageError> SegmentCommand::misuse() const {
    if (!size_.empty()) {
        if (!count_.empty())
            return UsageError{"give either COUNT or --size, not both"};
        const std::optional<std::int64_t> length = parseByteSize(size_);
        if (!length)
            return UsageError{"SIZE must be a number of bytes, with or without a unit (4G, 700M, "
                              "25MB), not \"" +
                              size_ + "\""};
        if (*length == 0)
            return UsageError{"SIZE must be at least one byte"};
        return std::nullopt;
    }
    if (count_.empty())
        return UsageError{"COUNT or --size SIZE is required"};
    const std::optional<int> count = parseCount(count_);
    if (!count || *count > kMaxSegments)
        return UsageError{"COUNT must be a number from 2 to " + std::to_string(kMaxSegments) +
                          ", not \"" + count_ + "\""};
    return std::nullopt;
}

Result<> SegmentCommand::refusedOutputs() const {
    if (!force_ && exists(basePath_ + "1"))
        return notReplaced(basePath_ + "1");
    // A manifest of the base name describes the pieces of an earlier cut: it is
    // replaced or removed once the pieces are written, so only with --force.
    const std::string manifestPath = manifestPathFor(basePath_);
    if (!force_ && exists(manifestPath))
        return notReplaced(manifestPath, writeManifest_ ? ""
                                                        : ": it lists the pieces of an earlier "
                                                          "cut, which it would no longer describe");
    return {};
}

Result<> SegmentCommand::cut(std::optional<int> count, ConsoleProgress& progress) const {
    SegmentOptions options;
    options.writeManifest = writeManifest_;
    SegmentReport report;
    Result<> result = count ? segmentFile(source_, basePath_, *count, progress, options, &report)
                            : segmentFileBySize(source_, basePath_, *parseByteSize(size_), progress,
                                                options, &report);
    progress.endLine();
    if (report.removedOldManifest)
        tell("removed \"" + manifestPathFor(basePath_) +
             "\": it listed the pieces of an earlier cut.");
    return result;
}

} // namespace shardix::cli
