#pragma once

#include "cli/Command.h"

#include <string>
#include <vector>

namespace shardix::cli {

// shardix-cli verify [--quiet] MANIFEST [FILE]...: checks the files that
// MANIFEST lists, in its folder, one line each on standard output; writes
// nothing. Given the index of a set of recovery files (BASE.par2), checks the
// files it lists, and searches the FILEs for the blocks not in place.
class VerifyCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    std::string manifestPath_;
    std::vector<std::string> searchFiles_;
    bool quiet_ = false;
};

} // namespace shardix::cli
