#pragma once

#include "cli/Command.h"

#include <string>
#include <vector>

namespace shardix::cli {

// shardix-cli repair [--quiet] INDEX [FILE...]: checks the files that the
// recovery index INDEX (BASE.par2) lists, in its folder, and rebuilds every
// missing or damaged one from the recovery blocks of INDEX and its volumes
// (BASE.*.par2) when there are enough, and from the intact blocks found
// shifted in the damaged files or in the FILEs (misnamed or moved pieces); a damaged file is
// renamed aside (NAME.1), never removed. One line for each file on standard output; with too few
// blocks, says how many are missing and changes nothing.
class RepairCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    std::string indexPath_;
    std::vector<std::string> searchFiles_;
    bool quiet_ = false;
};

} // namespace shardix::cli
