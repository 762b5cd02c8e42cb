#include "cli/JoinChecks.h"

#include "cli/Command.h"
#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "cli/StandardOutput.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/names/PiecePolicy.h"
#include "engines/names/SegmentNumbers.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "errors/Quoted.h"

#include <CLI/CLI.hpp>

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

// The manifest to check `inputs` against: the one named, or the one that lies
// beside them and lists them; empty for none. Refuses when the one beside them
// cannot be chosen.
Result<std::string> chosenManifest(const std::vector<std::string>& inputs, const JoinFlags& flags) {
    if (flags.noManifest)
        return std::string();
    if (!flags.manifest.empty())
        return flags.manifest;
    Result<std::string> found = findManifest(inputs);
    if (!found.ok())
        return refusal(found.error().message +
                       "  Name one with --manifest FILE, or give --no-manifest.");
    return found;
}

// Whether the manifest `path` lists `target` as one of its pieces.
bool listedAsPiece(const std::string& path, const std::string& target) {
    const Result<bool> listed = guarded(
        [&]() -> Result<bool> { return listsAsSegment(Manifest::read(path), path, target); });
    return listed.ok() && *listed;
}

// The checksums from the manifest, after refusing a TARGET that is one of the
// pieces it lists (the output typed last).
Result<> readExpected(JoinKind kind, const std::string& target, JoinPlan& plan) {
    if (!sameFile(target, plan.manifestPath) && listedAsPiece(plan.manifestPath, target))
        return refusal("TARGET " + shardix::quoted(target) + " is one of the pieces that " +
                       shardix::quoted(plan.manifestPath) +
                       " lists: TARGET comes first (shardix-cli " + synopsis(kind) +
                       ").  Nothing was written.");
    return expectedForJoin(plan.manifestPath, plan.inputs, target, plan.expected);
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

JoinOptions JoinPlan::engineOptions() const {
    return {kCopyChunk, manifestPath.empty() ? nullptr : &expected};
}

Result<JoinPlan> planJoin(JoinKind kind, const std::string& target, std::vector<std::string> inputs,
                          const JoinFlags& flags) {
    if (Result<> refused = refusedFiles(kind, target, inputs, flags); !refused.ok())
        return refused.error();
    Result<std::string> manifest = chosenManifest(inputs, flags);
    if (!manifest.ok())
        return manifest.error();
    JoinPlan plan{std::move(inputs), std::move(manifest).value(), {}};
    const Result<> checked = plan.manifestPath.empty() ? refusedOrder(plan.inputs, flags)
                                                       : readExpected(kind, target, plan);
    if (!checked.ok())
        return checked.error();
    return plan;
}

int finishJoin(const Result<>& result, const JoinPlan& plan, const std::string& target, bool quiet,
               ConsoleProgress& progress) {
    const int status = exitWith(result, progress);
    if (status == kSuccess && !plan.manifestPath.empty() && !quiet)
        tellMatched(target, plan.expected);
    return status;
}

} // namespace shardix::cli
