#pragma once

#include "engines/FileIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace shardix {

class EngineUi;

// Completes `target`, which holds the beginning of the whole made of `sources`
// (in order), with exactly the bytes of the whole that lie beyond its length.
// A missing target counts as empty and is created. Reports its own failures;
// returns true unless a failure stopped the run.
bool appendFile(const std::vector<std::string>& sources, const std::string& target, EngineUi& ui,
                std::int64_t pieceSize = kPieceSize);

} // namespace shardix
