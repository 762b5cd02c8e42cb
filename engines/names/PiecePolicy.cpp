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

std::string pieceName(const std::string& basePath, std::int64_t number, int digits) {
    std::string text = std::to_string(number);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return basePath + text;
}

int digitCount(std::int64_t number) {
    return static_cast<int>(std::to_string(number).size());
}

std::string manifestPathFor(const std::string& basePath) {
    return basePath + std::string(kManifestSuffix);
}

std::string joinScriptPathFor(const std::string& basePath) {
    return basePath + std::string(kJoinScriptSuffix);
}

std::string recoveryIndexPathFor(const std::string& basePath) {
    return basePath + std::string(kRecoveryIndexSuffix);
}

std::string joinedNameOf(const std::string& basePath) {
    std::string name(fileNameOf(basePath));
    while (!name.empty() && (name.back() == '.' || name.back() == '-' || name.back() == '_'))
        name.pop_back();
    return name;
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
