#include "cli/AppendCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/Exit.h"
#include "engines/operations/Appender.h"

#include <CLI/CLI.hpp>

namespace shardix::cli {

CLI::App* AppendCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("append");
    addOrderFlags(*command, flags_);
    addFlag(*command, "--quiet", flags_.quiet);
    addManifestOptions(*command, flags_);
    command->add_option("TARGET", target_)->required();
    command->add_option("SOURCE", sources_)->required()->expected(1, -1);
    return command;
}

int AppendCommand::run() {
    const Result<ListedPlan> plan = planListed(JoinKind::Append, target_, sources_, flags_);
    if (!plan.ok())
        return exitWith(plan.error());
    ConsoleProgress progress("append", flags_.quiet);
    const Result<> result =
        appendFile(plan->inputs, target_, progress, JoinOptions{kCopyChunk, plan->checks()});
    return finishJoin(result, *plan, target_, flags_.quiet, progress);
}

} // namespace shardix::cli
