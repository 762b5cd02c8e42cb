#include "engines/names/PiecePolicy.h"

#include <algorithm>

namespace shardix {

namespace {

std::string_view fileNameOf(const std::string& path) {
    return std::string_view(path).substr(path.find_last_of('/') + 1);
}

// Length in characters (UTF-8 code points) of the file name of `path`.
std::size_t nameLength(const std::string& path) {
    const std::string_view name = fileNameOf(path);
    return static_cast<std::size_t>(std::count_if(name.begin(), name.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace

std::string manifestPathFor(const std::string& basePath) {
    return basePath + std::string(kManifestSuffix);
}

bool isManifestName(std::string_view path) {
    return path.size() > kManifestSuffix.size() &&
           path.substr(path.size() - kManifestSuffix.size()) == kManifestSuffix;
}

void orderByNameLength(std::vector<std::string>& paths) {
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return nameLength(a) < nameLength(b);
    });
}

void orderByNumber(std::vector<std::string>& paths) {
    std::stable_sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return fileNameOf(a) < fileNameOf(b);
    });
    orderByNameLength(paths);
}

} // namespace shardix
