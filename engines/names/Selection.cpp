#include "engines/names/Selection.h"

#include <algorithm>

namespace shardix {

namespace {

// Length in characters (UTF-8 code points) of the file name of `path`.
std::size_t nameLength(const std::string& path) {
    const auto name = path.begin() + static_cast<std::ptrdiff_t>(path.find_last_of('/') + 1);
    return static_cast<std::size_t>(std::count_if(
        name, path.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

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

void orderByNameLength(std::vector<std::string>& paths) {
    // Names of one base name differ only in their trailing number, and a file
    // list shows names of one length in number order: a stable ordering by
    // length puts segments 1 .. 999 in number order.
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return nameLength(a) < nameLength(b);
    });
}

} // namespace shardix
