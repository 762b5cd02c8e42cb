#include "cli/RepairCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "cli/RecoveryChecks.h"
#include "errors/Quoted.h"

#include "errors/Quoted.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <optional>

namespace shardix::cli {

CLI::App* RepairCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("repair");
    addFlag(*command, "--quiet", quiet_);
    command->add_option("INDEX", indexPath_)->required();
    command->add_option("FILE", searchFiles_);
    return command;
}

int RepairCommand::run() {
    ConsoleProgress progress("repair", quiet_);
    std::atomic<bool> stop{false};
    RecoveryControl control = consoleControl(progress, stop);
    control.searchFiles = searchFiles_;
    // What the files were before the repair: shown when it fails.
    std::optional<RecoveryReport> verified;
    control.verified = [&verified](const RecoveryReport& report) { verified = report; };
    const Result<RecoveryReport> repaired = repairRecovery(indexPath_, control);
    progress.endLine();
    const RecoveryReport* shown = repaired.ok() ? &*repaired : verified ? &*verified : nullptr;
    if (shown) {
        if (print(reportLines(indexPath_, *shown, quiet_)) != kSuccess)
            return kFailure;
        tellNotes(*shown);
    }
    if (!repaired.ok())
        return exitWith(repaired.error(), progress.stoppedBy());
    const auto rebuilt = static_cast<int>(
        std::count_if(repaired->files.begin(), repaired->files.end(),
                      [](const RecoveryFileReport& file) { return file.rebuilt; }));
    const std::string listed = std::to_string(repaired->files.size()) +
                               (repaired->files.size() == 1 ? " file" : " files") + " that " +
                               shardix::quoted(indexPath_) + " lists";
    if (!quiet_ && rebuilt > 0)
        tell("rebuilt " + std::to_string(rebuilt) + " of the " + listed + ".");
    const int wrong = filesNotRight(*repaired);
    if (wrong == 0)
        return kSuccess;
    return exitWith(Error::of(ErrorKind::FileAccess,
                              "not repaired: " + std::to_string(wrong) + " of the " + listed +
                                  (wrong == 1 ? " is" : " are") + " still not right."));
}

} // namespace shardix::cli
