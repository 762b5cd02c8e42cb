// shardix-cli: the file engines of Shardix! for scripts and benchmarks.
#include "cli/AppendCommand.h"
#include "cli/AssembleCommand.h"
#include "cli/Exit.h"
#include "cli/JoinCommand.h"
#include "cli/RepairCommand.h"
#include "cli/SegmentCommand.h"
#include "cli/Usage.h"
#include "cli/VerifyCommand.h"
#include "engines/io/ProcessSetup.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <utility>
#include <vector>

namespace {

using shardix::cli::Command;

// Reads the command line into `tool` and its commands. The exit status when
// the tool ends here (help, version, a usage error), or nothing to go on.
std::optional<int> parse(CLI::App& tool, int argc, char** argv) {
    try {
        tool.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return shardix::cli::print(shardix::cli::usageText());
    } catch (const CLI::CallForVersion&) {
        return shardix::cli::print(shardix::cli::versionText() + "\n");
    } catch (const CLI::ParseError& e) {
        return shardix::cli::exitWith(
            shardix::cli::UsageError{argc < 2 ? "no command given" : e.what()});
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    shardix::prepareProcess();

    // Every command of the tool, in the order of the usage text.
    shardix::cli::SegmentCommand segment;
    shardix::cli::AssembleCommand assemble;
    shardix::cli::AppendCommand append;
    shardix::cli::JoinCommand join;
    shardix::cli::VerifyCommand verify;
    shardix::cli::RepairCommand repair;
    const std::vector<Command*> commands{&segment, &assemble, &append, &join, &verify, &repair};

    CLI::App tool;
    tool.set_help_flag("-h,--help");
    tool.set_version_flag("--version", shardix::cli::versionText());
    tool.require_subcommand(1, 1);
    tool.fallthrough(false);
    std::vector<std::pair<const CLI::App*, Command*>> named;
    for (Command* command : commands)
        named.emplace_back(command->addTo(tool), command);

    if (const std::optional<int> ended = parse(tool, argc, argv))
        return *ended;
    for (const auto& [subcommand, command] : named) {
        if (subcommand->parsed())
            return command->run();
    }
    return shardix::cli::kUsageError; // not reached: the parser requires one command
}
