#include "cli/JoinCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/ExistingOutput.h"
#include "cli/Exit.h"
#include "cli/JoinFlags.h"
#include "cli/StandardOutput.h"
#include "engines/io/Copy.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/JoinPlan.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/StreamJoin.h"
#include "errors/Quoted.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <numeric>
#include <optional>

namespace shardix::cli {

namespace {

// N of --first: a whole number from 0.
std::optional<std::int64_t> parseFirst(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoll(text);
}

// A set of decimal numbers whose lowest is above 1 may have lost its first
// pieces, or have been numbered from there (split --numeric-suffixes=FROM):
// only the user knows which.
std::string firstHint(const shardix::JoinPlan& plan, bool firstGiven) {
    const PieceSet& set = plan.set;
    const bool decimal = set.naming.number == PieceNaming::Number::Digits ||
                         set.naming.number == PieceNaming::Number::Unpadded;
    if (firstGiven || !decimal || set.members.empty() || set.members.front().number < 2 ||
        !set.has(SetProblem::Kind::Missing))
        return "";
    const std::string lowest = std::to_string(set.members.front().number);
    return "  If the set begins at " + shardix::quoted(set.folder + set.members.front().name) +
           " (as split --numeric-suffixes=" + lowest + " numbers it), say so with --first " +
           lowest + ".";
}

// How to choose among the readings of an ambiguous piece.
std::string readingHint(const shardix::JoinPlan& plan) {
    for (const SetProblem& problem : plan.problems) {
        if (problem.kind != SetProblem::Kind::Ambiguous || problem.prefixes.empty())
            continue;
        std::vector<std::string> prefixes = problem.prefixes;
        std::sort(prefixes.begin(), prefixes.end());
        const bool distinct =
            std::adjacent_find(prefixes.begin(), prefixes.end()) == prefixes.end();
        std::string options;
        for (std::size_t i = 0; distinct && i < problem.prefixes.size(); ++i)
            options += (i == 0 ? "" : " or ") + std::string("--prefix ") +
                       shardix::quoted(problem.prefixes[i]);
        return "  Say which set with " +
               (options.empty() ? ""
                                : options + " (the text before "
                                            "the number), or ") +
               "give its pieces in order to shardix-cli assemble TARGET PIECE....";
    }
    return "";
}

std::string listHint(const shardix::JoinPlan& plan) {
    const bool unreadable =
        std::any_of(plan.problems.begin(), plan.problems.end(), [](const SetProblem& p) {
            return p.kind == SetProblem::Kind::Unreadable && !p.files.empty() &&
                   isChecksumListName(
                       p.files.front().substr(p.files.front().find_last_of('/') + 1));
        });
    return unreadable ? "  Give --no-manifest to join without checking." : "";
}

// Everything that keeps the set from being joined, each named; the last ends
// the run.
int refuseSet(const shardix::JoinPlan& plan, bool firstGiven) {
    if (plan.problems.empty())
        return exitWith(Error::of(ErrorKind::Refused, "No pieces to join were found."));
    for (std::size_t i = 0; i + 1 < plan.problems.size(); ++i)
        tell(plan.problems[i].message);
    return exitWith(Error::of(
        ErrorKind::Refused, plan.problems.back().message + "  Nothing was written." +
                                readingHint(plan) + firstHint(plan, firstGiven) + listHint(plan)));
}

// The algorithm of the list's checksums, for the line that tells what matched.
std::string_view algorithmOf(const SetChecksums& checks) {
    for (const auto& piece : checks.pieces) {
        if (piece)
            return algorithmName(piece->algorithm);
    }
    return checks.whole ? algorithmName(checks.whole->algorithm) : std::string_view();
}

void tellMatched(const std::string& target, const SetChecksums& checks) {
    const std::size_t count = checks.listed();
    std::string what =
        count == 0 ? "" : std::to_string(count) + (count == 1 ? " piece" : " pieces");
    if (checks.whole)
        what += (what.empty() ? "" : " and ") + std::string("the whole file");
    const std::string subject = isStandardOutput(target)
                                    ? "The bytes written to standard output match "
                                    : shardix::quoted(target) + " matches ";
    tell(subject + what + " in " + shardix::quoted(checks.path) + " (" +
         std::string(algorithmOf(checks)) + ").");
}

// The line that says what a join wrote under a name the user did not give.
void tellWritten(const std::string& target, const PieceSet& set) {
    const std::int64_t length =
        std::accumulate(set.members.begin(), set.members.end(), std::int64_t{0},
                        [](std::int64_t sum, const PieceMember& m) { return sum + m.size; });
    const std::size_t count = set.members.size();
    tell("Wrote " + shardix::quoted(target) + ", " + std::to_string(length) + " bytes, from " +
         std::to_string(count) + (count == 1 ? " piece." : " pieces."));
}

} // namespace

CLI::App* JoinCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("join");
    addFlag(*command, "--force", force_);
    addFlag(*command, "--quiet", quiet_);
    command->add_option("--output", output_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--first", first_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    command->add_option("--prefix", prefix_)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    CLI::Option* named = command->add_option("--manifest", manifest_)
                             ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    addFlag(*command, "--no-manifest", noManifest_)->excludes(named);
    command->add_option("PIECE", piece_)->required();
    return command;
}

int JoinCommand::run() {
    if (isChecksumListName(piece_.substr(piece_.find_last_of('/') + 1)))
        return exitWith(
            Error::of(ErrorKind::Refused, shardix::quoted(piece_) +
                                              " is a list of checksums, not a piece: give "
                                              "one of the pieces it lists (it is found "
                                              "beside them).  Nothing was written."));
    const std::optional<std::string> named =
        manifest_.empty() ? std::nullopt : std::optional<std::string>(manifest_);
    PieceSetOptions setOptions;
    if (!first_.empty()) {
        const std::optional<std::int64_t> first = parseFirst(first_);
        if (!first)
            return exitWith(UsageError{"--first N must be the number of the set's first piece, "
                                       "a whole number from 0, not " +
                                       shardix::quoted(first_)});
        setOptions.firstNumber = first;
    }
    if (!prefix_.empty())
        setOptions.prefix = prefix_;
    const shardix::JoinPlan plan = planJoin(piece_, named, !noManifest_, setOptions);
    if (!plan.joinable())
        return refuseSet(plan, !first_.empty());
    const Result<std::string> to = target(plan);
    if (!to.ok())
        return exitWith(to.error());
    tellNotes(plan);
    return joinInto(*to, plan);
}

Result<std::string> JoinCommand::target(const shardix::JoinPlan& plan) const {
    if (isStandardOutput(output_))
        return output_;
    std::string path = output_;
    if (path.empty()) {
        if (!plan.outputName)
            return Error::of(ErrorKind::Refused,
                             "The names of " + sampleOf(plan.set) +
                                 " do not tell the name of the file they join into: give it "
                                 "with --output TARGET (or --output - for standard output).");
        path = plan.set.folder + *plan.outputName;
    }
    // Never over a piece, whatever --force says: the hint names another way.
    if (const std::optional<std::string> why = targetRefusal(path, plan))
        return Error::refusedName(*why + "  Nothing was written; give another name with --output "
                                         "TARGET.");
    if (!force_ && exists(path))
        return notReplaced(path);
    return path;
}

void JoinCommand::tellNotes(const shardix::JoinPlan& plan) const {
    if (quiet_)
        return;
    for (const std::string& note : plan.notes)
        tell(note);
}

int JoinCommand::joinInto(const std::string& target, const shardix::JoinPlan& plan) const {
    const Checksums expected = plan.checks ? plan.checks->expected() : Checksums{};
    const JoinOptions options{kCopyChunk, plan.checks ? &expected : nullptr};
    const std::vector<std::string> pieces = plan.set.paths();
    std::optional<FileHandle> stream;
    if (isStandardOutput(target)) {
        Result<FileHandle> out = openStandardOutput();
        if (!out.ok())
            return exitWith(out.error());
        stream.emplace(std::move(out).value());
    }
    ConsoleProgress progress("join", quiet_);
    const bool wasNew = !stream && !exists(target);
    Result<> result = stream ? joinToStream(pieces, *stream, progress, options)
                             : assembleFiles(pieces, target, progress, options);
    if (wasNew && !plan.checks)
        result = withWhatIsLeft(std::move(result), target, pieces);
    const int status = exitWith(result, progress);
    if (status == kSuccess && plan.checks && !quiet_)
        tellMatched(target, *plan.checks);
    if (status == kSuccess && output_.empty() && !quiet_)
        tellWritten(target, plan.set);
    return status;
}

} // namespace shardix::cli
