#include "cli/AssembleCommand.h"

#include "cli/ConsoleProgress.h"
#include "cli/ExistingOutput.h"
#include "cli/Exit.h"
#include "cli/StandardOutput.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/StreamJoin.h"

#include <CLI/CLI.hpp>

namespace shardix::cli {

CLI::App* AssembleCommand::addTo(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("assemble");
    addFlag(*command, "--force", force_);
    addOrderFlags(*command, flags_);
    addFlag(*command, "--quiet", flags_.quiet);
    addManifestOptions(*command, flags_);
    command->add_option("TARGET", target_)->required();
    command->add_option("INPUT", inputs_)->required()->expected(1, -1);
    return command;
}

int AssembleCommand::run() {
    const Result<ListedPlan> plan = planListed(JoinKind::Assemble, target_, inputs_, flags_);
    if (!plan.ok())
        return exitWith(plan.error());
    if (isStandardOutput(target_))
        return toStandardOutput(*plan);
    // An existing TARGET is refused once the files typed have passed their checks.
    if (!force_ && exists(target_))
        return exitWith(notReplaced(target_));
    const bool wasNew = !exists(target_);
    ConsoleProgress progress("assemble", flags_.quiet);
    Result<> result =
        assembleFiles(plan->inputs, target_, progress, JoinOptions{kCopyChunk, plan->checks()});
    if (wasNew)
        result = withWhatIsLeft(std::move(result), target_, plan->inputs);
    return finishJoin(result, *plan, target_, flags_.quiet, progress);
}

int AssembleCommand::toStandardOutput(const ListedPlan& plan) const {
    Result<FileHandle> out = openStandardOutput();
    if (!out.ok())
        return exitWith(out.error());
    FileHandle stream = std::move(out).value();
    ConsoleProgress progress("assemble", flags_.quiet);
    const Result<> result =
        joinToStream(plan.inputs, stream, progress, JoinOptions{kCopyChunk, plan.checks()});
    return finishJoin(result, plan, target_, flags_.quiet, progress);
}

} // namespace shardix::cli
