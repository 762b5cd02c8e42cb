#pragma once

#include <string>
#include <vector>

namespace shardix {

// The selected-files list: full paths, under `srcDir` (which ends with "/"), of
// the names selected in a file list, in the list's order or, with `reorder`,
// ordered by the length of the names, stably, so that pieces 1 .. 999 of one
// base name come out in number order. Nothing is left out.
std::vector<std::string> orderSelection(const std::string& srcDir,
                                        const std::vector<std::string>& selectedNames,
                                        bool reorder);

} // namespace shardix
