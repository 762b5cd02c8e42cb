#pragma once

#include "cli/Command.h"
#include "errors/Result.h"

#include <string>

namespace shardix {
struct JoinPlan;
} // namespace shardix

namespace shardix::cli {

// shardix-cli join [--force] [--output TARGET] [--first N] [--prefix TEXT] [--manifest FILE |
// --no-manifest] [--quiet] PIECE: finds the whole set of pieces that PIECE
// (any one of them, or the folder that holds one set) belongs to, of any of
// the naming schemes that PieceSet knows, and joins it in order into TARGET,
// checked against the checksum list beside the pieces when there is one.
// Without --output, TARGET is the set's base name in the pieces' folder; "-"
// is standard output.
class JoinCommand : public Command {
  public:
    CLI::App* addTo(CLI::App& tool) override;
    int run() override;

  private:
    // The file to write: --output, or the joined file's name beside the
    // pieces; refused where there is none, where it is a piece or a file the
    // list lists (--force or not), or where it is there without --force.
    Result<std::string> target(const shardix::JoinPlan& plan) const;
    // Tells the list's notes, unless --quiet.
    void tellNotes(const shardix::JoinPlan& plan) const;
    int joinInto(const std::string& target, const shardix::JoinPlan& plan) const;

    std::string piece_;
    std::string output_; // --output TARGET; empty when not given
    std::string first_;  // --first N as typed; empty when not given
    std::string prefix_; // --prefix TEXT; empty when not given
    std::string manifest_;
    bool noManifest_ = false;
    bool force_ = false;
    bool quiet_ = false;
};

} // namespace shardix::cli
