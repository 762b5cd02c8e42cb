#pragma once

#include <optional>
#include <string>
#include <vector>

namespace shardix::cli {

// The tool's own words on how it is used: the short usage of every command,
// its options each with one line or a few, and the overview of --help. The
// long explanations are the manual page's (man/shardix-cli.1.in).

// What shardix-cli --help prints: how the tool is called, each command with
// its synopsis and what it does, and where to read more.
std::string usageText();

// What "shardix-cli help COMMAND" and "shardix-cli COMMAND --help" print: the
// command's synopsis, what it does and every option it takes. `accepted` are
// the names of the options the command line takes for it ("--force", ...): one
// that the usage does not describe is listed all the same. Nothing for a name
// that is no command.
std::optional<std::string> commandUsage(const std::string& command,
                                        const std::vector<std::string>& accepted = {});

// The names of the commands, in the order of the usage.
std::vector<std::string> commandNames();

// The command whose name is nearest `typed` (a letter left out, added,
// changed or two swapped, at most two such slips), for "did you mean";
// nothing when none is near.
std::optional<std::string> nearestCommand(const std::string& typed);

// What shardix-cli --version prints, without the line feed.
std::string versionText();

} // namespace shardix::cli
