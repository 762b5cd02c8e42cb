#pragma once

#include "engines/operations/Segmenter.h"
#include "errors/Result.h"

#include <string>

namespace shardix {

// The files a cut writes beside its pieces: the manifest of their checksums
// (manifestPathFor) and the join script (joinScriptPathFor), both naming the
// whole file by `wholeName` in the pieces' folder: a source's own name, a
// stream's joinedNameOf(basePath). What a file cut and a stream cut share.

// Refuses `path` when it cannot be created in its folder: a file name longer
// than the file system takes. `what` names it in the message ("piece 12").
Result<> refusedLongName(const std::string& path, const std::string& what);

// Whether `name` is the name of a piece of `baseName` (a file name, without a
// folder) as a cut with `digits` numbers them, of any number.
bool isPieceOf(const std::string& name, const std::string& baseName, int digits);

// Before anything is cut: refuses the manifest and the join script that
// `options` asks for when one cannot be written (a folder, a pipe or a device
// of its name, a name too long), and a `wholeName` that they could not tell
// from the manifest, the script or a piece.
Result<> refusedCompanions(const std::string& basePath, const std::string& wholeName,
                           const SegmentOptions& options);

// The manifest and the join script of `basePath` that were there before the
// cut, of those that `options` looks after.
struct OldCompanions {
    bool manifest = false;
    bool joinScript = false;
};
OldCompanions oldCompanionsOf(const std::string& basePath, const SegmentOptions& options);

// After a cut that wrote pieces and ended with `run`: on success writes the
// manifest and the join script that `options` asks for, from the pieces'
// lengths and checksums in `report`; an old one that is not written anew (the
// cut failed, or was made without it) no longer describes the pieces and is
// removed, which `report` tells. Returns `run`, or the failure to write.
Result<> settleCompanions(const std::string& basePath, const std::string& wholeName,
                          const SegmentOptions& options, const OldCompanions& old,
                          const Result<>& run, SegmentReport& report);

} // namespace shardix
