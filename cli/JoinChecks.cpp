#include "cli/JoinChecks.h"

#include "cli/Command.h"
#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "cli/StandardOutput.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/JoinPlan.h"
#include "engines/names/PiecePolicy.h"
#include "engines/names/SegmentNumbers.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "errors/Quoted.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>

namespace shardix::cli {

namespace {

Error refusal(std::string message) {
    return Error::of(ErrorKind::Refused, std::move(message));
}

// How the command is typed, for a refusal that tells TARGET comes first.
std::string synopsis(JoinKind kind) {
    return kind == JoinKind::Assemble ? "assemble TARGET INPUT..." : "append TARGET SOURCE...";
}

// A TARGET among the files to join, by any name, would be lost or grow; one
// that is a pipe, a socket or a device is no file to write.
Result<> refusedJoinTarget(JoinKind kind, const std::string& target,
                           const std::vector<std::string>& inputs) {
    return kind == JoinKind::Assemble ? refusedTarget(inputs, target)
                                      : refusedAppendTarget(inputs, target);
}

// A glob such as p* takes in p.sha256 beside p1 .. pn: its text would be
// joined in without a word.
Result<> refusedChecksumList(const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        if (isChecksumListName(input.substr(input.find_last_of('/') + 1)))
            return refusal(shardix::quoted(input) +
                           " is a list of checksums, not a piece to join; leave it out (it is "
                           "found beside the pieces, or give it with --manifest).");
    }
    return {};
}

// The output typed last: a TARGET that is itself a numbered piece among the
// inputs.
Result<> refusedPieceTarget(JoinKind kind, const std::string& target,
                            const std::vector<std::string>& inputs) {
    const auto base = pieceBaseOf(target, inputs);
    if (!base)
        return {};
    return refusal(
        "TARGET " + shardix::quoted(target) + " is itself a piece of " + shardix::quoted(*base) +
        ", like the " + (kind == JoinKind::Assemble ? "INPUTs" : "SOURCEs") +
        ": TARGET comes first (shardix-cli " + synopsis(kind) + ").  Nothing was written.");
}

// Why the files typed cannot be joined as they stand, before anything is read;
// with --sort they are put in number order first.
Result<> refusedFiles(JoinKind kind, const std::string& target, std::vector<std::string>& inputs,
                      const JoinFlags& flags) {
    if (Result<> refused = refusedJoinTarget(kind, target, inputs); !refused.ok())
        return refused;
    if (Result<> refused = refusedChecksumList(inputs); !refused.ok())
        return refused;
    if (flags.sort) {
        orderByNumber(inputs);
        if (Result<> missing = missingSegments(inputs); !missing.ok())
            return missing;
    }
    return refusedPieceTarget(kind, target, inputs);
}

// Numbered pieces without a manifest are joined in number order unless told
// otherwise.
Result<> refusedOrder(const std::vector<std::string>& inputs, const JoinFlags& flags) {
    if (flags.sort || flags.asGiven)
        return {};
    if (Result<> order = outOfNumberOrder(inputs); !order.ok())
        return refusal(order.error().message +
                       "  Give --sort to join them in number order, or --as-given to join them "
                       "in the order given.");
    return {};
}

// Tells what a join checked against its manifest matched.
void tellMatched(const std::string& target, const Checksums& expected) {
    const std::size_t count = expected.parts.size();
    const std::string pieces = std::to_string(count) + (count == 1 ? " piece" : " pieces");
    tell((isStandardOutput(target) ? "The bytes written to standard output match "
                                   : shardix::quoted(target) + " matches ") +
         (expected.whole ? pieces + " and the whole file"
                         : pieces + " (the manifest has no line for the whole file)") +
         " in " + shardix::quoted(expected.source) + ".");
}

} // namespace

void addOrderFlags(CLI::App& command, JoinFlags& flags) {
    addFlag(command, "--as-given", flags.asGiven)->excludes(addFlag(command, "--sort", flags.sort));
}

void addManifestOptions(CLI::App& command, JoinFlags& flags) {
    CLI::Option* named = command.add_option("--manifest", flags.manifest)
                             ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    addFlag(command, "--no-manifest", flags.noManifest)->excludes(named);
}

JoinOptions ListedPlan::engineOptions() const {
    return {kCopyChunk, manifestPath.empty() ? nullptr : &expected};
}

Result<ListedPlan> planListed(JoinKind kind, const std::string& target,
                              std::vector<std::string> inputs, const JoinFlags& flags) {
    if (Result<> refused = refusedFiles(kind, target, inputs, flags); !refused.ok())
        return refused.error();
    const ChecksHints hints{"  Name one with --manifest FILE, or give --no-manifest.",
                            "  TARGET comes first (shardix-cli " + synopsis(kind) + ")."};
    Result<ListedChecks> checks =
        checksFor(inputs, target, flags.manifest, !flags.noManifest, hints);
    if (!checks.ok())
        return checks.error();
    ListedPlan plan{std::move(inputs), std::move(checks.value().manifestPath),
                    std::move(checks.value().expected)};
    if (plan.manifestPath.empty()) {
        if (Result<> order = refusedOrder(plan.inputs, flags); !order.ok())
            return order.error();
    }
    return plan;
}

Result<> withWhatIsLeft(Result<> result, const std::string& target,
                        const std::vector<std::string>& inputs) {
    struct stat st {};
    if (result.ok() || ::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return result;
    std::int64_t total = 0;
    for (const std::string& input : inputs) {
        struct stat in {};
        total += ::stat(input.c_str(), &in) == 0 ? in.st_size : 0;
    }
    if (st.st_size >= total)
        return result;
    Error error = result.error();
    // A stop has told the length already.
    if (error.message.find(" was left with ") == std::string::npos &&
        error.message.find(" holds its first ") == std::string::npos)
        error.message += "  " + shardix::quoted(target) + " holds its first " +
                         std::to_string(st.st_size) + " bytes of " + std::to_string(total) + ".";
    if (error.message.find("completes it") == std::string::npos)
        error.message += "  \"shardix-cli append\" with the same pieces completes it.";
    return error;
}

int finishJoin(const Result<>& result, const ListedPlan& plan, const std::string& target,
               bool quiet, ConsoleProgress& progress) {
    const int status = exitWith(result, progress);
    if (status == kSuccess && !plan.manifestPath.empty() && !quiet)
        tellMatched(target, plan.expected);
    return status;
}

} // namespace shardix::cli
