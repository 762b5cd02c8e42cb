#include "cli/VerifyCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "cli/RecoveryChecks.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/Verifier.h"
#include "errors/Quoted.h"

#include <CLI/CLI.hpp>

#include <vector>

namespace shardix::cli {

namespace {

using Outcome = Verdict::Outcome;

// The manifest `path`, refused when it cannot be read, lists nothing or says
// that it lists more than it does.
Result<Manifest> readManifest(const std::string& path) {
    Result<Manifest> manifest = Manifest::read(path);
    if (!manifest.ok())
        return manifest;
    if (manifest->entries.empty() && manifest->problems.empty())
        return Error::of(ErrorKind::Refused, shardix::quoted(path) + " lists no files.");
    if (Result<> complete = manifest->checkComplete(path); !complete.ok())
        return complete.error();
    return manifest;
}

// What the check found of `entry`, in words.
std::string found(const ManifestEntry& entry, const Verdict& verdict) {
    switch (verdict.outcome) {
    case Outcome::Good:
        return "OK";
    case Outcome::Missing:
        return entry.whole ? "not there; the whole file is checked once it is assembled"
                           : "missing";
    case Outcome::Shorter:
        return "shorter: " + verdict.detail;
    case Outcome::Longer:
        return "longer: " + verdict.detail;
    case Outcome::Different:
        return verdict.detail.empty() ? "different" : "different: " + verdict.detail;
    case Outcome::Unreadable:
        return "cannot be read: " + verdict.detail;
    case Outcome::Outside:
        return "not checked: the name leads out of the manifest's folder";
    }
    return {};
}

// What verify prints on standard output, and how many files are not right.
struct Findings {
    std::string lines;
    int wrong = 0;
};

// One line for each listed file (with `quiet`, only for those not right). The
// whole file may be missing: it is checked once it is assembled.
Findings findings(const Manifest& manifest, const std::vector<Verdict>& verdicts, bool quiet) {
    Findings result;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        const ManifestEntry& entry = manifest.entries[i];
        const bool good = verdicts[i].outcome == Outcome::Good ||
                          (entry.whole && verdicts[i].outcome == Outcome::Missing);
        if (!good)
            ++result.wrong;
        if (!quiet || !good)
            result.lines +=
                Manifest::shownName(entry.name) + ": " + found(entry, verdicts[i]) + "\n";
    }
    return result;
}

// The exit status once the lines are printed: the lines the manifest could not
// read, and how many files are not right, told on standard error.
int verdictOf(const std::string& path, const Manifest& manifest, const Findings& findings,
              std::size_t listed) {
    for (const std::string& problem : manifest.problems)
        tell(shardix::quoted(path) + ", " + problem + ": " + manifest.unreadableLine() + ".");
    if (findings.wrong > 0)
        return exitWith(Error::of(ErrorKind::Mismatch,
                                  shardix::quoted(path) + ": " + std::to_string(findings.wrong) +
                                      " of the " + std::to_string(listed) + " listed files " +
                                      (findings.wrong == 1 ? "is" : "are") + " not right."));
    return manifest.problems.empty() ? kSuccess : kFailure;
}

} // namespace

CLI::App* VerifyCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("verify");
    addFlag(*command, "--quiet", quiet_);
    command->add_option("MANIFEST", manifestPath_)->required();
    command->add_option("FILE", searchFiles_);
    return command;
}

int VerifyCommand::run() {
    if (isRecoveryIndex(manifestPath_))
        return verifyRecoverySet(manifestPath_, quiet_, searchFiles_);
    if (!searchFiles_.empty())
        return exitWith(UsageError{"files to search for blocks (" +
                                       shardix::quoted(searchFiles_.front()) +
                                       ") go only with a recovery index, not a checksum list",
                                   "verify"});
    const Result<Manifest> manifest = readManifest(manifestPath_);
    if (!manifest.ok())
        return exitWith(manifest.error());
    ConsoleProgress progress("verify", quiet_, false);
    const std::vector<Verdict> verdicts =
        verifyManifest(*manifest, Manifest::folderOf(manifestPath_), progress);
    progress.endLine();
    const Findings found = findings(*manifest, verdicts, quiet_);
    if (print(found.lines) != kSuccess)
        return kFailure;
    return verdictOf(manifestPath_, *manifest, found, verdicts.size());
}

} // namespace shardix::cli
