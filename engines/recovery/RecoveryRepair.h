#pragma once

#include "engines/recovery/RecoveryTypes.h"
#include "errors/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

enum class RecoveryFileState { Ok, Missing, Damaged };

// What verification found of one file that the index lists.
struct RecoveryFileReport {
    std::string name;        // as listed: a file of the index's folder
    std::int64_t length = 0; // as listed
    RecoveryFileState state = RecoveryFileState::Ok;
    std::uint32_t blocks = 0;     // its data blocks
    std::uint32_t goodBlocks = 0; // of them, found intact in place
    // Why it is damaged or missing, when it is: "12 bytes shorter than
    // listed", "a symbolic link, not followed", "cannot be read: ...".
    std::string detail;
    bool rebuilt = false; // repairRecovery() rebuilt it
    std::string setAside; // the name the damaged file was renamed to, if any
    std::string failure;  // why repairRecovery() could not rebuild it, when it could not
};

// What verifyRecovery() or repairRecovery() found and did.
struct RecoveryReport {
    std::vector<RecoveryFileReport> files; // in the index's order
    std::uint64_t blockSize = 0;
    std::uint32_t dataBlocks = 0;
    // Blocks of the files that are neither intact nor rebuilt.
    std::uint32_t missingBlocks = 0;
    // Intact recovery blocks at hand, in the index and its volumes.
    std::uint32_t recoveryBlocks = 0;
    // Damaged packets, volumes or packets of other sets left out, one sentence each.
    std::vector<std::string> notes;
    std::vector<std::string> volumes; // the index's volumes that were read
    std::string creator;              // the program that made the set, as it says

    // Every listed file is there and intact, or was rebuilt.
    bool complete() const;
    // Why the recovery blocks at hand cannot rebuild the missing blocks
    // although there are enough of them; empty when they can.
    std::string unsolvable;

    // There are enough recovery blocks to rebuild what is missing, and they can.
    bool repairable() const { return missingBlocks <= recoveryBlocks && unsolvable.empty(); }
};

// Checks every file that the index "FOLDER/BASE.par2" lists, in FOLDER, with
// the help of the volumes FOLDER/BASE.*.par2. Writes nothing. Files missing
// or damaged are in the report; the run fails only when the index is refused
// (ErrorKind::Refused: hostile or inconsistent, see assembleSet()), cannot be
// read (the system's kinds, see Error::fromErrno), or is stopped (Stopped).
Result<RecoveryReport> verifyRecovery(const std::string& indexPath,
                                      const RecoveryControl& control = {});

// Verifies (telling RecoveryControl::verified what it found), then rebuilds
// every missing or damaged file when there are enough recovery blocks. A
// damaged file is renamed aside (NAME.1, or the next number free) and never
// deleted; each rebuilt file is written under a temporary name, checked
// against its MD5 and renamed into place. Fails, having changed nothing, as
// verifyRecovery() does and with ErrorKind::Refused when there are too few
// recovery blocks (the message says how many more are needed, the Error's
// file is the index) or they cannot be solved for the missing ones,
// InputPastEnd or Mismatch when a file changed during the repair, the
// system's kinds when a file cannot be read. A file that cannot be written or
// put in place is not rebuilt (its report's `failure` says why) and the
// others are; the report is then not complete().
Result<RecoveryReport> repairRecovery(const std::string& indexPath,
                                      const RecoveryControl& control = {});

} // namespace shardix
