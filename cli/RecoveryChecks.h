#pragma once

#include "engines/recovery/RecoveryRepair.h"

#include <atomic>
#include <string>
#include <vector>

namespace shardix::cli {

class ConsoleProgress;

// Whether `path` is the index of a set of recovery files (verify then checks
// the set, not a manifest): it begins as they begin, or is named "*.par2".
bool isRecoveryIndex(const std::string& path);

// A recovery run's control that shows its progress on `progress` and sets
// `stop` when the user asks the run to stop.
RecoveryControl consoleControl(ConsoleProgress& progress, std::atomic<bool>& stop);

// One line for each file that `report` lists (with `quiet`, only for those
// not right), as verify shows a manifest's: "NAME: OK", "NAME: missing",
// "NAME: damaged: WHY", for a repaired file "NAME: rebuilt ...", and for one
// that could not be "NAME: not rebuilt: WHY"; NAME with the folder of
// `indexPath`.
std::string reportLines(const std::string& indexPath, const RecoveryReport& report, bool quiet);

// The files of `report` that are neither intact nor rebuilt.
int filesNotRight(const RecoveryReport& report);

// Tells the notes of `report` (damaged volumes, packets of other sets left
// out: each names its file) on standard error.
void tellNotes(const RecoveryReport& report);

// verify INDEX [FILE]...: checks the files of the set, searching the FILEs
// for blocks not in place, prints their lines; 0 when all are intact, 1 when
// one is not (saying whether the set can repair them) or the index cannot be
// read.
int verifyRecoverySet(const std::string& indexPath, bool quiet,
                      const std::vector<std::string>& searchFiles);

} // namespace shardix::cli
