#pragma once

#include "cli/Command.h"
#include "cli/Exit.h"

#include <optional>
#include <string>

namespace shardix::cli {

class ConsoleProgress;

// shardix-cli segment [--force] [--manifest] [--join-script] [--digits N]
// [--recovery PERCENT [--block-size BYTES]] [--quiet] SOURCE BASEPATH COUNT, or
// --size SIZE SOURCE BASEPATH, where SOURCE may be "-" for standard input:
// cuts SOURCE into pieces named BASEPATH1 .. BASEPATHn (BASEPATH01 .. with
// --digits 2), and writes beside them when asked their checksums, a script
// that joins them, and their recovery files (BASEPATH.par2 and its volumes),
// from the one read of SOURCE.
class SegmentCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    // Why the command line cannot be read as the usage says; nothing when it can.
    std::optional<UsageError> misuse() const;
    // Why --recovery and --block-size cannot be read; nothing when they can.
    std::optional<UsageError> recoveryMisuse() const;
    std::optional<UsageError> sizeMisuse() const;
    std::optional<UsageError> countMisuse() const;
    // --digits, read once COUNT and --size have passed.
    std::optional<UsageError> digitsMisuse() const;
    // The refusal of an output that is there, without --force.
    Result<> refusedOutputs() const;
    // Cuts into `count` pieces, or without one into pieces of --size (which
    // misuse() found readable), and tells of an old manifest or join script
    // it removed.
    Result<> cut(std::optional<int> count, ConsoleProgress& progress) const;

    bool fromStandardInput() const { return source_ == "-"; }
    int digits() const; // 0 when --digits is not given

    std::string source_;
    std::string basePath_;
    std::string count_;     // COUNT as typed; empty when not given
    std::string size_;      // --size SIZE as typed; empty when not given
    std::string digits_;    // --digits N as typed; empty when not given
    std::string recovery_;  // --recovery PERCENT as typed; empty when not given
    std::string blockSize_; // --block-size BYTES as typed; empty when not given
    bool force_ = false;
    bool writeManifest_ = false;
    bool writeJoinScript_ = false;
    bool quiet_ = false;
};

} // namespace shardix::cli
