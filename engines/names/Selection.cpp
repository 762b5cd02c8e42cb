#include "engines/names/Selection.h"

#include "engines/names/PiecePolicy.h"

namespace shardix {

std::vector<std::string> orderSelection(const std::string& srcDir,
                                        const std::vector<std::string>& selectedNames,
                                        bool reorder) {
    std::vector<std::string> paths = selectedNames;
    for (std::string& name : paths)
        name.insert(0, srcDir);
    if (reorder)
        orderByNameLength(paths);
    return paths;
}

} // namespace shardix
