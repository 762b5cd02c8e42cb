#include "engines/names/PieceNumbers.h"

#include "engines/io/FileIdentity.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <filesystem>

namespace shardix {

namespace {

struct PieceName {
    std::string base;
    int number = 0;
    int digits = 0;      // how many digits the name ends in
    bool padded = false; // the first of them is a zero ("p01")
};

// How the numbers of one set of pieces are written: without leading zeros
// (width 0: "p1" .. "p12"), or zero-padded to `width` digits ("p01" .. "p12").
bool fits(const PieceName& name, int width) {
    return width == 0 ? !name.padded : name.digits == width;
}

// The widths of the sets that `name` may belong to.
std::vector<int> widthsOf(const PieceName& name) {
    std::vector<int> widths;
    if (!name.padded)
        widths.push_back(0);
    if (name.digits >= 2)
        widths.push_back(name.digits);
    return widths;
}

// Every way of reading `path` as a base name and a piece number from 1 to
// kMaxPieces, written in as many digits as it needs or zero-padded to at
// most kMaxDigits; the zero-padded first, the widest of them first, then the
// others, the longest base first.
std::vector<PieceName> readings(const std::string& path) {
    const std::size_t firstDigit = path.find_last_not_of("0123456789") + 1;
    std::vector<PieceName> result;
    for (std::size_t digits = 1;
         digits <= static_cast<std::size_t>(kMaxDigits) && digits <= path.size() - firstDigit;
         ++digits) {
        const std::size_t start = path.size() - digits;
        const int number = std::stoi(path.substr(start));
        const bool padded = path[start] == '0';
        if (number >= 1 && number <= kMaxPieces && (!padded || digits >= 2))
            result.push_back({path.substr(0, start), number, static_cast<int>(digits), padded});
    }
    // A leading zero says the number is padded, to all the zeros: "p001" is
    // piece 1 of "p" before it is piece 1 of "p0" or "p00".
    std::stable_sort(result.begin(), result.end(), [](const PieceName& a, const PieceName& b) {
        return a.padded && (!b.padded || a.digits > b.digits);
    });
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
    return sameIdentity(folderIdentityOf(a + "1"), folderIdentityOf(b + "1"));
}

// One reading of all the paths under one base name.
struct Reading {
    std::string base;
    int width = 0; // as fits() reads it
    std::vector<int> numbers;
};

// The reading of `path` under `base` in a set of `width`, when it has one.
std::optional<PieceName> readingUnder(const std::string& path, const std::string& base, int width) {
    for (const PieceName& name : readings(path)) {
        if (fits(name, width) && sameBase(name.base, base))
            return name;
    }
    return std::nullopt;
}

// The reading of every one of `paths` under the base and width of `first`,
// which reads paths[0]; nothing when one of them has none, or when a set of
// zero-padded numbers has none that starts with a zero (it is read unpadded).
std::optional<Reading> readAll(const std::vector<std::string>& paths, const PieceName& first,
                               int width) {
    Reading reading{first.base, width, {first.number}};
    bool padded = first.padded;
    for (std::size_t i = 1; i < paths.size(); ++i) {
        const std::optional<PieceName> name = readingUnder(paths[i], first.base, width);
        if (!name)
            return std::nullopt;
        reading.numbers.push_back(name->number);
        padded = padded || name->padded;
    }
    if (width > 0 && !padded)
        return std::nullopt;
    return reading;
}

// The readings of `paths` under a base name that all of them share, in the
// order of the first path's readings().
std::vector<Reading> sharedReadings(const std::vector<std::string>& paths) {
    std::vector<Reading> shared;
    if (paths.empty())
        return shared;
    for (const PieceName& first : readings(paths.front())) {
        for (const int width : widthsOf(first)) {
            if (std::optional<Reading> reading = readAll(paths, first, width))
                shared.push_back(std::move(*reading));
        }
    }
    return shared;
}

std::string quotedPiece(const std::string& base, int number, int width) {
    return shardix::quoted(pieceName(base, number, width));
}

// What is missing or doubled among the pieces of a reading; empty when
// nothing is.
std::string gapsIn(const Reading& reading) {
    std::vector<int> numbers = reading.numbers;
    std::sort(numbers.begin(), numbers.end());
    const auto quoted = [&reading](int number) {
        return quotedPiece(reading.base, number, reading.width);
    };
    std::string message;
    const auto add = [&message](const std::string& sentence) {
        message += (message.empty() ? "" : " ") + sentence;
    };
    int before = 0; // the number below the next one given; 0 before the first
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const int number = numbers[i];
        if (number == before) {
            if (i + 1 == numbers.size() || numbers[i + 1] != number)
                add(quoted(number) + " is given more than once.");
            continue;
        }
        if (number > before + 1) {
            const std::string missing =
                number == before + 2
                    ? quoted(before + 1) + " is missing"
                    : quoted(before + 1) + " to " + quoted(number - 1) + " are missing";
            add(missing +
                (before == 0 ? " before " + quoted(number)
                             : " between " + quoted(before) + " and " + quoted(number)) +
                ".");
        }
        before = number;
    }
    return message;
}

// Whether `name`, read in a set of `width`, and the pieces of its base among
// `inputs` make one run of numbers without a gap.
bool joinsWithout(const PieceName& name, int width, const std::vector<std::string>& inputs) {
    std::vector<int> numbers{name.number};
    bool padded = name.padded;
    for (const std::string& input : inputs) {
        if (const std::optional<PieceName> piece = readingUnder(input, name.base, width)) {
            numbers.push_back(piece->number);
            padded = padded || piece->padded;
        }
    }
    if (numbers.size() < 2 || (width > 0 && !padded))
        return false;
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers.back() - numbers.front() + 1 == static_cast<int>(numbers.size());
}

} // namespace

std::optional<int> pieceNumber(const std::string& path, const std::string& base) {
    if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0)
        return std::nullopt;
    for (const PieceName& name : readings(path)) {
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
            return Error::of(ErrorKind::Refused, shardix::quoted(paths[i - 1]) +
                                                     " is given before " +
                                                     shardix::quoted(paths[i]) +
                                                     ": the pieces are not in number order.");
    }
    return Error::of(ErrorKind::Refused, gapsIn(first));
}

std::optional<std::string> pieceBaseOf(const std::string& path,
                                       const std::vector<std::string>& inputs) {
    for (const PieceName& name : readings(path)) {
        for (const int width : widthsOf(name)) {
            if (joinsWithout(name, width, inputs))
                return name.base;
        }
    }
    return std::nullopt;
}

Result<> missingPieces(const std::vector<std::string>& paths) {
    const std::vector<Reading> shared = sharedReadings(paths);
    if (shared.empty())
        return {};
    for (const Reading& reading : shared) {
        if (gapsIn(reading).empty())
            return {};
    }
    return Error::of(ErrorKind::Refused, gapsIn(shared.front()));
}

} // namespace shardix
