#pragma once

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace shardix::cli {

// One command of shardix-cli (segment, assemble, ...): its options and
// operands, which it adds to the tool's command line, and what it does with
// them. main registers every command; the one named on the command line runs.
class Command {
  public:
    virtual ~Command() = default;

    // Adds the command as a subcommand of `tool`, with its options and
    // operands read into the command's own members; returns the subcommand.
    virtual CLI::App* addTo(CLI::App& tool) = 0;

    // Runs the command as read from the command line, telling any failure on
    // standard error; returns the exit status (Exit.h).
    virtual int run() = 0;
};

// Adds the flag `name` to `command`: given once at most, and without a value.
CLI::Option* addFlag(CLI::App& command, const char* name, bool& value);

} // namespace shardix::cli
