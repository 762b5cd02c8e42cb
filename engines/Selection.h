#pragma once

#include <string>
#include <vector>

namespace shardix {

class EngineUi;

// The selected-files list: full paths in the order in which they are to be read.
struct Selection {
    std::vector<std::string> fileList;
    int fileCount = 0;  // how many entries of the list were selected
    int sortAnswer = 0; // MsgAnswer::Yes or No; 0 when the question was not asked
};

// Builds the list from the names selected in a file list, in the list's order,
// under `srcDir` (which ends with "/"). When two or more are selected the user is
// asked whether to re-order them; with Yes the names are ordered by length,
// stably, so that segments 1 .. 999 of one base name come out in number order.
Selection orderSelection(const std::string& srcDir, const std::vector<std::string>& selectedNames,
                         EngineUi& ui);

} // namespace shardix
