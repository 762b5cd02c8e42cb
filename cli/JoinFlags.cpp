#include "cli/JoinFlags.h"

#include "cli/Command.h"
#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "cli/StandardOutput.h"
#include "engines/io/StopAccount.h"
#include "errors/Quoted.h"

#include <CLI/CLI.hpp>

namespace shardix::cli {

namespace {

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

Result<ListedPlan> planListed(JoinKind kind, const std::string& target,
                              std::vector<std::string> inputs, const JoinFlags& flags) {
    const std::string synopsis =
        kind == JoinKind::Assemble ? "assemble TARGET INPUT..." : "append TARGET SOURCE...";
    const PieceOrder order = flags.sort      ? PieceOrder::Sorted
                             : flags.asGiven ? PieceOrder::AsGiven
                                             : PieceOrder::Numbered;
    ListedJoin join{target,
                    std::move(inputs),
                    flags.manifest,
                    !flags.noManifest,
                    {"  Name one with --manifest FILE, or give --no-manifest.",
                     "  TARGET comes first (shardix-cli " + synopsis + ")."},
                    TypedFiles{kind, order, synopsis}};
    return shardix::planListed(std::move(join));
}

Result<> withWhatIsLeft(Result<> result, const std::string& target,
                        const std::vector<std::string>& inputs) {
    if (result.ok())
        return result;
    Error error = result.error();
    error.message =
        shardix::withWhatIsLeft(std::move(error.message), target, inputs, kAppendCompletes);
    return error;
}

int finishJoin(const Result<>& result, const ListedPlan& plan, const std::string& target,
               bool quiet, ConsoleProgress& progress) {
    const int status = exitWith(result, progress);
    if (status == kSuccess && plan.checks() && !quiet)
        tellMatched(target, plan.expected);
    return status;
}

} // namespace shardix::cli
