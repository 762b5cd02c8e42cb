#pragma once

#include "engines/FileIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

class EngineUi;

// Joins the files of `fileList`, in order, into `target`, which is created or
// emptied first. Refuses a target that is itself one of the inputs. Reports its
// own failures; returns true when every input was written.
bool assembleFiles(const std::vector<std::string>& fileList, const std::string& target,
                   EngineUi& ui, std::int64_t pieceSize = kPieceSize);

} // namespace shardix
