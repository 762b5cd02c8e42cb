#pragma once

#include "engines/FileIo.h"

#include <cstdint>
#include <string>

namespace shardix {

class EngineUi;

// What the reader leaves for its caller: the input, open and addressable by
// position and length, its length, and a message to show (empty on success).
// The bytes themselves are not copied into memory.
struct FileContents {
    std::int64_t fileLength = 0;
    std::string theMessage;
    FileHandle file;
};

// Tests that `srcFile` exists, measures it and refuses a count of pieces
// (`divisions`) larger than the file. Opens the file read-only. Shows nothing:
// the caller shows `theMessage` when it is not empty. Sets the busy pointer;
// the caller sets it back to normal when its run ends.
FileContents getFileContents(const std::string& srcFile, std::int64_t divisions, EngineUi& ui);

} // namespace shardix
