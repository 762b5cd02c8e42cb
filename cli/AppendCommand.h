#pragma once

#include "cli/Command.h"
#include "cli/JoinFlags.h"

#include <string>
#include <vector>

namespace shardix::cli {

// shardix-cli append [--sort | --as-given] [--manifest FILE | --no-manifest]
// [--quiet] TARGET SOURCE...: completes TARGET, which holds the beginning of
// the SOURCEs joined in order, with the bytes it lacks.
class AppendCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    std::string target_;
    std::vector<std::string> sources_;
    JoinFlags flags_;
};

} // namespace shardix::cli
