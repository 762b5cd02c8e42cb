#pragma once

#include "cli/Command.h"
#include "cli/JoinFlags.h"

#include <string>
#include <vector>

namespace shardix::cli {

// shardix-cli assemble [--force] [--sort | --as-given] [--manifest FILE |
// --no-manifest] [--quiet] TARGET INPUT...: joins the INPUTs into TARGET,
// checked against their manifest when there is one; a TARGET "-" is standard
// output.
class AssembleCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    int toStandardOutput(const ListedPlan& plan) const;

    std::string target_;
    std::vector<std::string> inputs_;
    bool force_ = false;
    JoinFlags flags_;
};

} // namespace shardix::cli
