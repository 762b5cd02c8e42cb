#pragma once

#include "cli/Command.h"
#include "cli/Exit.h"

#include <optional>
#include <string>

namespace shardix::cli {

class ConsoleProgress;

// shardix-cli segment [--force] [--manifest] [--quiet] SOURCE BASEPATH COUNT,
// or --size SIZE SOURCE BASEPATH: cuts SOURCE into pieces named BASEPATH1 ..
// BASEPATHn, and with --manifest writes their checksums beside them.
class SegmentCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    // Why COUNT and --size cannot be read as the usage says; nothing when they can.
    std::optional<UsageError> misuse() const;
    // The refusal of an output that is there, without --force.
    Result<> refusedOutputs() const;
    // Cuts into `count` pieces, or without one into pieces of --size (which
    // misuse() found readable), and tells of an old manifest it removed.
    Result<> cut(std::optional<int> count, ConsoleProgress& progress) const;

    std::string source_;
    std::string basePath_;
    std::string count_; // COUNT as typed; empty when not given
    std::string size_;  // --size SIZE as typed; empty when not given
    bool force_ = false;
    bool writeManifest_ = false;
    bool quiet_ = false;
};

} // namespace shardix::cli
