#pragma once

#include "engines/checksums/Checksums.h"
#include "engines/operations/JoinOptions.h"
#include "errors/Result.h"

#include <string>
#include <vector>

namespace CLI {
class App;
} // namespace CLI

namespace shardix::cli {

class ConsoleProgress;

// What assemble and append share: the options that order the files and name a
// manifest, and the checks made before anything is read.

enum class JoinKind { Assemble, Append };

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

// A join of files given in order that passed its checks.
struct ListedPlan {
    std::vector<std::string> inputs; // in the order they are joined
    std::string manifestPath;        // the manifest they are checked against; empty for none
    Checksums expected;              // from that manifest

    // How the engine joins them: checked against `expected` when there is a manifest.
    JoinOptions engineOptions() const;
};

// Checks the files typed before anything is read or written, and orders them
// with --sort: refuses a TARGET that is one of them or a numbered piece among
// them, a checksum list among them, numbered pieces missing, given twice or out
// of number order, and, through the engines' checksFor, the list that governs
// them: one beside them that cannot be chosen, what matchSegments refuses.
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
