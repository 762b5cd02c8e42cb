#pragma once

#include "engines/manifest/JoinPlan.h"
#include "errors/Result.h"

#include <string>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace shardix::cli {

class ConsoleProgress;

// The options that assemble and append share, what they ask the engines'
// planner, and what they tell at the end of a join.

// What assemble and append are told besides TARGET and the files to join.
struct JoinFlags {
    bool sort = false;
    bool asGiven = false;
    bool quiet = false;
    bool noManifest = false;
    std::string manifest; // --manifest FILE; empty when not given
};

// Adds --as-given and --sort, which exclude each other.
void addOrderFlags(CLI::App& command, JoinFlags& flags);
// Adds --manifest FILE and --no-manifest, which exclude each other.
void addManifestOptions(CLI::App& command, JoinFlags& flags);

// The join of the files typed, as the engines' planner (planListed) decides it.
Result<ListedPlan> planListed(JoinKind kind, const std::string& target,
                              std::vector<std::string> inputs, const JoinFlags& flags);

// `result`, and when it failed leaving the new `target` shorter than the
// `inputs` together, what it holds and that append completes it.
Result<> withWhatIsLeft(Result<> result, const std::string& target,
                        const std::vector<std::string>& inputs);

// The exit status of a join's run: its failure told, or on success, unless
// `quiet`, what TARGET matched in the manifest.
int finishJoin(const Result<>& result, const ListedPlan& plan, const std::string& target,
               bool quiet, ConsoleProgress& progress);

} // namespace shardix::cli
