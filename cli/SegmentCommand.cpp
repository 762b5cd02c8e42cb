#include "cli/SegmentCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/ExistingOutput.h"
#include "cli/RecoveryWriter.h"
#include "engines/names/ByteSize.h"
#include "engines/names/CountText.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/Segmenter.h"
#include "engines/operations/StreamSegmenter.h"
#include "errors/Quoted.h"

#include <CLI/CLI.hpp>
#include <unistd.h>

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

std::string counted(std::uint64_t count, const std::string& thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// "wrote "BASE.par2" and 8 volumes: ...": what a cut with --recovery wrote.
std::string recoveryWritten(const std::string& basePath, const RecoveryWritten& written) {
    const RecoveryPlan& plan = written.plan;
    const std::size_t volumes = written.names.empty() ? 0 : written.names.size() - 1;
    return "wrote " + shardix::quoted(recoveryIndexPathFor(basePath)) + " and " +
           counted(volumes, "volume") + ": " + counted(plan.recoveryBlocks, "recovery block") +
           " for the " + counted(plan.dataBlocks, "block") + " of " +
           counted(plan.blockSize, "byte") + " of the pieces.";
}

constexpr const char* kStandardInput = "standard input";

// Refuses to replace the file `path` that an earlier cut wrote beside its
// pieces (`what`, "lists") unless asked; `written` when this cut writes it anew.
Result<> refusedCompanion(const std::string& path, bool written, const std::string& what) {
    if (!exists(path))
        return {};
    return notReplaced(path, written ? ""
                                     : ": it " + what +
                                           " the pieces of an earlier cut, which it "
                                           "would no longer describe");
}

} // namespace

CLI::App* SegmentCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("segment");
    addFlag(*command, "--force", force_);
    addFlag(*command, "--manifest", writeManifest_);
    addFlag(*command, "--join-script", writeJoinScript_);
    addFlag(*command, "--quiet", quiet_);
    command->add_option("--size", size_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--recovery", recovery_)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--block-size", blockSize_)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--digits", digits_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("SOURCE", source_)->required();
    command->add_option("BASEPATH", basePath_)->required();
    command->add_option("COUNT", count_);
    return command;
}

int SegmentCommand::run() {
    if (std::optional<UsageError> usage = misuse()) {
        usage->command = "segment";
        return exitWith(*usage);
    }
    const std::optional<int> count = size_.empty() ? parseCount(count_) : std::optional<int>();
    if (fromStandardInput() && ::isatty(STDIN_FILENO))
        return exitWith(Error::of(ErrorKind::Refused,
                                  "Standard input is a terminal; give the bytes to cut through a "
                                  "pipe (... | shardix-cli segment --size SIZE - BASEPATH)."));
    if (const Result<> refused = refusedOutputs(); !refused.ok())
        return exitWith(refused.error());
    ConsoleProgress progress("segment", quiet_);
    return exitWith(cut(count, progress), progress);
}

std::optional<UsageError> SegmentCommand::recoveryMisuse() const {
    // The recovery files name each piece by its length and first bytes before
    // the first byte of the cut is added in: a file has them, a pipe does not.
    if (!recovery_.empty() && fromStandardInput())
        return UsageError{"--recovery needs the length of SOURCE before the cut begins, which "
                          "standard input (-) does not have: save it to a file and cut that"};
    if (!recovery_.empty() && !parsePercent(recovery_))
        return UsageError{"--recovery PERCENT must be a whole number from 1 to 100, not " +
                          shardix::quoted(recovery_)};
    if (blockSize_.empty())
        return std::nullopt;
    if (recovery_.empty())
        return UsageError{"--block-size is the size of the blocks of --recovery; give it with "
                          "--recovery"};
    if (!parseBlockSize(blockSize_))
        return UsageError{"--block-size BYTES must be a multiple of 4 from 4 to " +
                          std::to_string(kMaxBlockSize) + " bytes (64M), not " +
                          shardix::quoted(blockSize_)};
    return std::nullopt;
}

std::optional<UsageError> SegmentCommand::misuse() const {
    if (!basePath_.empty() && basePath_.back() == '/')
        return UsageError{
            "BASEPATH names the pieces, not only their folder: " + shardix::quoted(basePath_) +
            " ends in \"/\"; give the pieces' name after it"};
    if (std::optional<UsageError> recovery = recoveryMisuse())
        return recovery;
    std::optional<UsageError> usage = size_.empty() ? countMisuse() : sizeMisuse();
    return usage ? usage : digitsMisuse();
}

std::optional<UsageError> SegmentCommand::sizeMisuse() const {
    if (!count_.empty())
        return UsageError{"give either COUNT or --size, not both"};
    const std::optional<std::int64_t> length = parseByteSize(size_);
    if (!length)
        return UsageError{"SIZE must be a number of bytes, with or without a unit (4G, 700M, "
                          "25MB), not " +
                          shardix::quoted(size_)};
    if (*length == 0)
        return UsageError{"SIZE must be at least one byte"};
    return std::nullopt;
}

std::optional<UsageError> SegmentCommand::countMisuse() const {
    if (fromStandardInput())
        return UsageError{"standard input (-) has no length to divide by COUNT: cut it into "
                          "pieces of a size with --size SIZE"};
    if (count_.empty())
        return UsageError{"COUNT or --size SIZE is required"};
    const std::optional<int> count = parseCount(count_);
    if (!count || *count < 2 || *count > kMaxPieces)
        return UsageError{"COUNT must be a number from 2 to " + std::to_string(kMaxPieces) +
                          ", not " + shardix::quoted(count_)};
    return std::nullopt;
}

std::optional<UsageError> SegmentCommand::digitsMisuse() const {
    if (digits_.empty())
        return std::nullopt;
    const std::optional<int> digits = parseCount(digits_);
    if (!digits || *digits < 1 || *digits > kMaxDigits)
        return UsageError{"--digits must be a number from 1 to " + std::to_string(kMaxDigits) +
                          ", not " + shardix::quoted(digits_)};
    if (!count_.empty() && digitCount(*parseCount(count_)) > *digits)
        return UsageError{"--digits " + std::to_string(*digits) + " cannot number " +
                          std::to_string(*parseCount(count_)) + " pieces"};
    return std::nullopt;
}

int SegmentCommand::digits() const {
    return digits_.empty() ? 0 : *parseCount(digits_);
}

Result<> SegmentCommand::refusedOutputs() const {
    if (force_)
        return {};
    const std::string first = pieceName(basePath_, 1, digits());
    if (exists(first))
        return notReplaced(first);
    // The volumes of an index are refused by the encoder, once their names are known.
    if (!recovery_.empty() && exists(recoveryIndexPathFor(basePath_)))
        return notReplaced(recoveryIndexPathFor(basePath_));
    // What an earlier cut wrote beside its pieces describes them: it is
    // replaced or removed once the pieces are written, so only with --force.
    if (Result<> refused = refusedCompanion(manifestPathFor(basePath_), writeManifest_, "lists");
        !refused.ok())
        return refused;
    return refusedCompanion(joinScriptPathFor(basePath_), writeJoinScript_, "joins");
}

Result<> SegmentCommand::cut(std::optional<int> count, ConsoleProgress& progress) const {
    SegmentOptions options;
    options.writeManifest = writeManifest_;
    options.digits = digits();
    options.writeJoinScript = writeJoinScript_;
    options.handleOldJoinScript = true;
    RecoveryWritten recovery;
    if (!recovery_.empty())
        options.consumer = recoveryWriter(
            RecoveryRequest{source_, basePath_, *parsePercent(recovery_),
                            blockSize_.empty() ? 0 : *parseBlockSize(blockSize_), digits(), force_},
            recovery);
    SegmentReport report;
    Result<> result;
    if (fromStandardInput())
        result = segmentStream(STDIN_FILENO, kStandardInput, basePath_, *parseByteSize(size_),
                               progress, options, &report);
    else if (count)
        result = segmentFile(source_, basePath_, *count, progress, options, &report);
    else
        result = segmentFileBySize(source_, basePath_, *parseByteSize(size_), progress, options,
                                   &report);
    progress.endLine();
    if (report.removedOldManifest)
        tell("removed " + shardix::quoted(manifestPathFor(basePath_)) +
             ": it listed the pieces of an earlier cut.");
    if (report.removedOldJoinScript)
        tell("removed " + shardix::quoted(joinScriptPathFor(basePath_)) +
             ": it joined the pieces of an earlier cut.");
    if (result.ok() && !recovery_.empty() && !quiet_)
        tell(recoveryWritten(basePath_, recovery));
    for (const std::string& removed : recovery.stale.removed)
        tell("removed " + shardix::quoted(removed) +
             ": a volume of the recovery files of an earlier cut, which these replace.");
    for (const std::string& left : recovery.stale.left)
        tell(left);
    // Recovery files of an earlier cut are left alone: they may well describe
    // the same bytes, which only reading them tells.
    const std::string index = recoveryIndexPathFor(basePath_);
    if (result.ok() && recovery_.empty() && exists(index))
        tell(shardix::quoted(index) +
             " is from an earlier cut and was left as it was; 'shardix-cli " + "verify " +
             shardix::quoted(index) + "' tells whether it describes these pieces.");
    return result;
}

} // namespace shardix::cli
