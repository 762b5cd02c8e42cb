#include "engines/Selection.h"

#include <algorithm>

namespace shardix {

namespace {

// Length in characters (UTF-8 code points) of a file name.
std::size_t nameLength(const std::string& name) {
    return static_cast<std::size_t>(std::count_if(name.begin(), name.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

std::vector<std::string> orderSelection(const std::string& srcDir,
                                        const std::vector<std::string>& selectedNames,
                                        bool reorder) {
    std::vector<std::string> names = selectedNames;
    // Names of one base name differ only in their trailing number, and the list
    // shows names of one length in number order: a stable ordering by length
    // puts segments 1 .. 999 in number order.
    if (reorder)
        std::stable_sort(names.begin(), names.end(),
                         [](const std::string& a, const std::string& b) {
                             return nameLength(a) < nameLength(b);
                         });
    for (std::string& name : names)
        name.insert(0, srcDir);
    return names;
}

} // namespace shardix
