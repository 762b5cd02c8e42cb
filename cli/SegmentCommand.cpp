#include "cli/SegmentCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/Existing.h"
#include "cli/RecoveryWriter.h"
#include "engines/names/ByteSize.h"
#include "engines/names/Count.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/Segmenter.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace shardix::cli {

namespace {

// PERCENT of --recovery: a whole number from 1 to 100.
std::optional<int> parsePercent(const std::string& text) {
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int percent = std::stoi(text);
    if (percent < 1 || percent > 100)
        return std::nullopt;
    return percent;
}

// BYTES of --block-size, as SIZE is read: a multiple of 4 up to the largest
// block that recovery files may have.
std::optional<std::uint64_t> parseBlockSize(const std::string& text) {
    const std::optional<std::int64_t> bytes = parseByteSize(text);
    if (!bytes || *bytes <= 0 || *bytes % 4 != 0 ||
        static_cast<std::uint64_t>(*bytes) > kMaxBlockSize)
        return std::nullopt;
    return static_cast<std::uint64_t>(*bytes);
}

// "wrote "BASE.par2" and 8 volumes: ...": what a cut with --recovery wrote.
std::string recoveryWritten(const RecoveryWritten& written) {
    const RecoveryPlan& plan = written.plan;
    const std::size_t volumes = written.names.empty() ? 0 : written.names.size() - 1;
    return "wrote \"" + (written.names.empty() ? std::string() : written.names.front()) +
           "\" and " + std::to_string(volumes) + (volumes == 1 ? " volume: " : " volumes: ") +
           std::to_string(plan.recoveryBlocks) + " recovery blocks for the " +
           std::to_string(plan.dataBlocks) + " blocks of " + std::to_string(plan.blockSize) +
           " bytes of the pieces.";
}

} // namespace

CLI::App* SegmentCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("segment");
    addFlag(*command, "--force", force_);
    addFlag(*command, "--manifest", writeManifest_);
    addFlag(*command, "--quiet", quiet_);
    command->add_option("--size", size_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--recovery", recovery_)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--block-size", blockSize_)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
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

std::optional<UsageError> SegmentCommand::recoveryMisuse() const {
    if (!recovery_.empty() && !parsePercent(recovery_))
        return UsageError{"--recovery PERCENT must be a whole number from 1 to 100, not \"" +
                          recovery_ + "\""};
    if (blockSize_.empty())
        return std::nullopt;
    if (recovery_.empty())
        return UsageError{"--block-size is the size of the blocks of --recovery; give it with "
                          "--recovery"};
    if (!parseBlockSize(blockSize_))
        return UsageError{"--block-size BYTES must be a multiple of 4 from 4 to " +
                          std::to_string(kMaxBlockSize) + " bytes (64M), not \"" + blockSize_ +
                          "\""};
    return std::nullopt;
}

std::optional<UsageError> SegmentCommand::misuse() const {
    if (std::optional<UsageError> recovery = recoveryMisuse())
        return recovery;
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
    // The volumes of an index are refused by the encoder, once their names are known.
    if (!force_ && !recovery_.empty() && exists(recoveryIndexFor(basePath_)))
        return notReplaced(recoveryIndexFor(basePath_));
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
    RecoveryWritten recovery;
    if (!recovery_.empty())
        options.consumer = recoveryWriter(
            RecoveryRequest{source_, basePath_, *parsePercent(recovery_),
                            blockSize_.empty() ? 0 : *parseBlockSize(blockSize_), force_},
            recovery);
    SegmentReport report;
    Result<> result = count ? segmentFile(source_, basePath_, *count, progress, options, &report)
                            : segmentFileBySize(source_, basePath_, *parseByteSize(size_), progress,
                                                options, &report);
    progress.endLine();
    if (report.removedOldManifest)
        tell("removed \"" + manifestPathFor(basePath_) +
             "\": it listed the pieces of an earlier cut.");
    if (result.ok() && !recovery_.empty() && !quiet_)
        tell(recoveryWritten(recovery));
    // Recovery files of an earlier cut are left alone: they may well describe
    // the same bytes, which only reading them tells.
    const std::string index = recoveryIndexFor(basePath_);
    if (result.ok() && recovery_.empty() && exists(index))
        tell("\"" + index + "\" is from an earlier cut and was left as it was; 'shardix-cli " +
             "verify \"" + index + "\"' tells whether it describes these pieces.");
    return result;
}

} // namespace shardix::cli
