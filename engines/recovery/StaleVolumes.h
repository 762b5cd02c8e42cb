#pragma once

#include "engines/recovery/Checksum.h"
#include "errors/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace shardix {

// The set of the index "FOLDER/BASE.par2" before a cut writes it anew: the
// one set its packets carry, when it is there and they carry one.
std::optional<Md5Digest> setOfIndex(const std::string& indexPath);

// What removeStaleVolumes() did: the files it removed, and those it left
// with why (one sentence each, naming the file).
struct StaleVolumes {
    std::vector<std::string> removed; // as shown: with the folder
    std::vector<std::string> left;
};

// After a cut wrote the recovery files `written` (names in the folder, the
// index "BASE.par2" first): the other files of the folder named as its
// volumes are ("BASE.volN+M.par2") are those of an earlier cut of the same
// BASEPATH, whose blocks were computed over other bytes. Each is removed
// when `remove` (the cut replaces recovery files: --force), this tool made
// it, every packet in it is intact and carries one set's id, and that set is
// `replaced` (the set of the index the cut replaced, when it had one); any
// other is left and named. Otherwise verify and repair would leave them out
// by their set's id or their packets' other contents, but par2 mixes their
// blocks in.
Result<StaleVolumes> removeStaleVolumes(const std::string& indexPath,
                                        const std::vector<std::string>& written,
                                        const std::optional<Md5Digest>& replaced, bool remove);

} // namespace shardix
