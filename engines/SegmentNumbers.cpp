#include "engines/SegmentNumbers.h"

#include <algorithm>
#include <filesystem>

namespace shardix {

namespace {

struct SegmentName {
    std::string base;
    int number = 0;
};

std::optional<SegmentName> segmentName(const std::string& path) {
    const std::size_t digits = path.find_last_not_of("0123456789") + 1;
    const std::size_t count = path.size() - digits;
    if (count == 0 || count > 3 || path[digits] == '0')
        return std::nullopt;
    return SegmentName{path.substr(0, digits), std::stoi(path.substr(digits))};
}

// Whether two base names spell the same folder and name ("part" and
// "./part", "d/part" and "d//part").
bool sameBase(const std::string& a, const std::string& b) {
    return a == b || std::filesystem::path(a).lexically_normal() ==
                         std::filesystem::path(b).lexically_normal();
}

// The segment names of `paths`, when all are of one base name; each keeps
// the first one's spelling of it.
std::optional<std::vector<SegmentName>> segmentNames(const std::vector<std::string>& paths) {
    std::vector<SegmentName> names;
    for (const std::string& path : paths) {
        auto name = segmentName(path);
        if (!name || (!names.empty() && !sameBase(name->base, names.front().base)))
            return std::nullopt;
        if (!names.empty())
            name->base = names.front().base;
        names.push_back(std::move(*name));
    }
    if (names.empty())
        return std::nullopt;
    return names;
}

std::string quoted(const std::string& base, int number) {
    return "\"" + base + std::to_string(number) + "\"";
}

} // namespace

std::optional<std::string> commonBase(const std::vector<std::string>& paths) {
    const auto names = segmentNames(paths);
    if (!names)
        return std::nullopt;
    return names->front().base;
}

std::optional<std::string> missingSegments(const std::vector<std::string>& paths) {
    const auto names = segmentNames(paths);
    if (!names)
        return std::nullopt;
    const std::string& base = names->front().base;
    std::vector<int> numbers;
    for (const SegmentName& name : *names)
        numbers.push_back(name.number);
    std::sort(numbers.begin(), numbers.end());

    std::string message;
    const auto add = [&message](const std::string& sentence) {
        message += (message.empty() ? "" : " ") + sentence;
    };
    int before = 0; // the number below the next one given; 0 before the first
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const int number = numbers[i];
        if (number == before) {
            if (i + 1 == numbers.size() || numbers[i + 1] != number)
                add(quoted(base, number) + " is given more than once.");
            continue;
        }
        if (number > before + 1) {
            const std::string missing =
                number == before + 2
                    ? quoted(base, before + 1) + " is missing"
                    : quoted(base, before + 1) + " to " + quoted(base, number - 1) + " are missing";
            add(missing +
                (before == 0
                     ? " before " + quoted(base, number)
                     : " between " + quoted(base, before) + " and " + quoted(base, number)) +
                ".");
        }
        before = number;
    }
    if (message.empty())
        return std::nullopt;
    return message;
}

} // namespace shardix
