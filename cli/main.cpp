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

#include <algorithm>
#include <malloc.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using shardix::cli::Command;
using shardix::cli::UsageError;

// The long options that `command` takes, as "--name".
std::vector<std::string> optionsOf(const CLI::App& command) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames())
            names.push_back("--" + name);
    }
    return names;
}

// What "help COMMAND" and "COMMAND --help" print, or the usage error of a
// name that is no command.
int showCommandUsage(const CLI::App& tool, const std::string& name) {
    const std::vector<const CLI::App*> found =
        tool.get_subcommands([&](const CLI::App* sub) { return sub->get_name() == name; });
    const CLI::App* command = found.empty() ? nullptr : found.front();
    const std::optional<std::string> usage = shardix::cli::commandUsage(
        name, command ? optionsOf(*command) : std::vector<std::string>());
    if (!usage)
        return shardix::cli::exitWith(UsageError{"'" + name + "' is no command"});
    return shardix::cli::print(*usage);
}

// The usage error of a command line whose first word names no command, with
// the command that was likely meant.
int unknownCommand(const std::string& typed) {
    const std::optional<std::string> meant = shardix::cli::nearestCommand(typed);
    return shardix::cli::exitWith(UsageError{"unknown command '" + typed + "'" +
                                             (meant ? "; did you mean '" + *meant + "'?" : "")});
}

// Help asked for in words: "help [COMMAND]", or --help / -h among a command's
// options (before "--"); a first word that is no command. The exit status when
// the tool ends here, or nothing to go on.
std::optional<int> answerHelp(const CLI::App& tool, const std::vector<std::string>& args) {
    if (args.empty() || args[0].starts_with("-"))
        return std::nullopt;
    const std::vector<std::string> names = shardix::cli::commandNames();
    if (std::find(names.begin(), names.end(), args[0]) == names.end())
        return unknownCommand(args[0]);
    if (args[0] == "help") {
        if (args.size() > 2)
            return shardix::cli::exitWith(UsageError{"help takes one COMMAND at most"});
        return args.size() == 1 ? shardix::cli::print(shardix::cli::usageText())
                                : showCommandUsage(tool, args[1]);
    }
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            return showCommandUsage(tool, args[0]);
    }
    return std::nullopt;
}

// Reads the command line into `tool` and its commands. The exit status when
// the tool ends here (help, version, a usage error), or nothing to go on.
std::optional<int> parse(CLI::App& tool, int argc, char** argv) {
    if (std::optional<int> answered =
            answerHelp(tool, std::vector<std::string>(argv + 1, argv + argc)))
        return answered;
    try {
        tool.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return shardix::cli::print(shardix::cli::usageText());
    } catch (const CLI::CallForVersion&) {
        return shardix::cli::print(shardix::cli::versionText() + "\n");
    } catch (const CLI::ParseError& e) {
        if (argc < 2)
            return shardix::cli::exitWith(UsageError{"no command given"});
        const bool named = argv[1][0] != '-';
        return shardix::cli::exitWith(UsageError{e.what(), named ? argv[1] : ""});
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    shardix::prepareProcess();
    // The tool's threads allocate little, and large buffers once: one heap
    // for all of them holds less memory than one for each.
    ::mallopt(M_ARENA_MAX, 1);

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
