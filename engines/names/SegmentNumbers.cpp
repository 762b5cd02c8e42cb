#include "engines/names/SegmentNumbers.h"

#include "engines/io/FileIdentity.h"

#include <algorithm>
#include <filesystem>

namespace shardix {

namespace {

struct SegmentName {
    std::string base;
    int number = 0;
};

// Every way of reading `path` as a base name and a segment number, the
// longest base first.
std::vector<SegmentName> readings(const std::string& path) {
    const std::size_t firstDigit = path.find_last_not_of("0123456789") + 1;
    std::vector<SegmentName> result;
    for (std::size_t digits = 1; digits <= 3 && digits <= path.size() - firstDigit; ++digits) {
        const std::size_t start = path.size() - digits;
        if (path[start] != '0')
            result.push_back({path.substr(0, start), std::stoi(path.substr(start))});
    }
    return result;
}

// Whether two base names are one name in one folder, however the folder is
// spelled: "part" and "./part", "d/part" and "d//part", or a relative and an
// absolute path or one through ".." that lead to the same folder.
bool sameBase(const std::string& a, const std::string& b) {
    if (a == b ||
        std::filesystem::path(a).lexically_normal() == std::filesystem::path(b).lexically_normal())
        return true;
    const std::size_t slashA = a.find_last_of('/');
    const std::size_t slashB = b.find_last_of('/');
    if (a.compare(slashA + 1, std::string::npos, b, slashB + 1, std::string::npos) != 0)
        return false;
    // The base's folder is that of a piece named after it.
    const auto folderA = folderIdentityOf(a + "1");
    return folderA && folderA == folderIdentityOf(b + "1");
}

// One reading of all the paths under one base name.
struct Reading {
    std::string base;
    std::vector<int> numbers;
};

// The readings of `paths` under a base name that all of them share, the
// longest base first.
std::vector<Reading> sharedReadings(const std::vector<std::string>& paths) {
    std::vector<Reading> shared;
    if (paths.empty())
        return shared;
    for (const SegmentName& first : readings(paths.front())) {
        Reading reading{first.base, {first.number}};
        for (std::size_t i = 1; i < paths.size(); ++i) {
            const auto names = readings(paths[i]);
            const auto same = std::find_if(names.begin(), names.end(), [&](const SegmentName& n) {
                return sameBase(n.base, first.base);
            });
            if (same == names.end())
                break;
            reading.numbers.push_back(same->number);
        }
        if (reading.numbers.size() == paths.size())
            shared.push_back(std::move(reading));
    }
    return shared;
}

std::string quoted(const std::string& base, int number) {
    return "\"" + base + std::to_string(number) + "\"";
}

// What is missing or doubled among the segments `numbers` of `base`; empty
// when nothing is.
std::string gapsIn(const std::string& base, std::vector<int> numbers) {
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
    return message;
}

} // namespace

std::optional<int> segmentNumber(const std::string& path, const std::string& base) {
    if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0)
        return std::nullopt;
    for (const SegmentName& name : readings(path)) {
        if (name.base.size() == base.size())
            return name.number;
    }
    return std::nullopt;
}

std::vector<std::string> commonBases(const std::vector<std::string>& paths) {
    std::vector<std::string> bases;
    for (const Reading& reading : sharedReadings(paths))
        bases.push_back(reading.base);
    return bases;
}

Result<> outOfNumberOrder(const std::vector<std::string>& paths) {
    const std::vector<Reading> shared = sharedReadings(paths);
    if (shared.empty() || paths.size() < 2)
        return {};
    for (const Reading& reading : shared) {
        bool consecutive = true;
        for (std::size_t i = 0; i < reading.numbers.size() && consecutive; ++i)
            consecutive = reading.numbers[i] == static_cast<int>(i) + 1;
        if (consecutive)
            return {};
    }
    const Reading& first = shared.front();
    for (std::size_t i = 1; i < first.numbers.size(); ++i) {
        if (first.numbers[i] < first.numbers[i - 1])
            return Error::of(ErrorKind::Refused, "\"" + paths[i - 1] + "\" is given before \"" +
                                                     paths[i] +
                                                     "\": the pieces are not in number order.");
    }
    return Error::of(ErrorKind::Refused, gapsIn(first.base, first.numbers));
}

std::optional<std::string> pieceBaseOf(const std::string& path,
                                       const std::vector<std::string>& inputs) {
    for (const SegmentName& name : readings(path)) {
        std::vector<int> numbers{name.number};
        for (const std::string& input : inputs) {
            for (const SegmentName& reading : readings(input)) {
                if (sameBase(reading.base, name.base)) {
                    numbers.push_back(reading.number);
                    break;
                }
            }
        }
        if (numbers.size() < 2)
            continue;
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        if (numbers.back() - numbers.front() + 1 == static_cast<int>(numbers.size()))
            return name.base;
    }
    return std::nullopt;
}

Result<> missingSegments(const std::vector<std::string>& paths) {
    const std::vector<Reading> shared = sharedReadings(paths);
    if (shared.empty())
        return {};
    for (const Reading& reading : shared) {
        if (gapsIn(reading.base, reading.numbers).empty())
            return {};
    }
    return Error::of(ErrorKind::Refused, gapsIn(shared.front().base, shared.front().numbers));
}

} // namespace shardix
