#pragma once

#include <string>

namespace shardix::cli {

// What shardix-cli --help prints: every command, its options and what the tool
// does; each command's lines are kept here, in the order of the commands.
std::string usageText();

// What shardix-cli --version prints, without the line feed.
std::string versionText();

} // namespace shardix::cli
