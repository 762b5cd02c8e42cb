#include "cli/Command.h"

#include <CLI/CLI.hpp>

namespace shardix::cli {

CLI::Option* addFlag(CLI::App& command, const char* name, bool& value) {
    return command.add_flag(name, value)
        ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
        ->disable_flag_override();
}

} // namespace shardix::cli
