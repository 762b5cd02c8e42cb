#include "engines/names/PieceReadings.h"

#include <algorithm>

namespace shardix::pieces {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return c >= 'a' && c <= 'z';
}

int radixOf(Family family) {
    return family == Family::Letters ? 26 : 10;
}

char firstSymbol(Family family) {
    return family == Family::Letters ? 'a' : '0';
}

char lastSymbol(Family family) {
    return family == Family::Letters ? 'z' : '9';
}

std::int64_t power(std::int64_t radix, int exponent) {
    std::int64_t value = 1;
    for (int i = 0; i < exponent; ++i)
        value *= radix;
    return value;
}

// How many names split writes at widening level `level` of a suffix `width`
// long: at level 0 all but those that start with the last symbol, which begin
// the next level ("xaa" .. "xyz", then "xzaaa" .. "xzyzz", "xzzaaaa" ..).
std::int64_t levelCount(Family family, int width, int level) {
    const std::int64_t radix = radixOf(family);
    return (radix - 1) * power(radix, width + level - 1);
}

std::int64_t valueOf(Family family, std::string_view symbols) {
    std::int64_t value = 0;
    for (const char c : symbols)
        value = value * radixOf(family) + (c - firstSymbol(family));
    return value;
}

std::string symbolsOf(Family family, std::int64_t value, int width) {
    std::string text(static_cast<std::size_t>(width), firstSymbol(family));
    for (int i = width - 1; i >= 0 && value > 0; --i) {
        text[static_cast<std::size_t>(i)] =
            static_cast<char>(firstSymbol(family) + value % radixOf(family));
        value /= radixOf(family);
    }
    return text;
}

bool endsWithSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '.' || text.back() == '_' || text.back() == '-');
}

// Whether the prefix ends with ".part" (or "-part", "_part"), in any capitals.
bool endsWithPartMarker(const std::string& prefix) {
    if (prefix.size() < 6)
        return false;
    std::string tail = prefix.substr(prefix.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return static_cast<char>(c | 0x20); });
    const char before = prefix[prefix.size() - 5];
    return tail == "part" && (before == '.' || before == '-' || before == '_');
}

// Adds the readings of the digits or letters that end `stem`, as a fixed
// count of them and as split's widened names.
void fixedReadings(Family family, const std::string& stem, const std::string& extra,
                   std::vector<Reading>& out) {
    const auto belongs = family == Family::Letters ? isLetter : isDigit;
    std::size_t run = 0;
    while (run < stem.size() && belongs(stem[stem.size() - 1 - run]))
        ++run;
    const int longest = family == Family::Letters ? kLongestLetters : kLongestDigits;
    for (std::size_t length = 1; length <= run && length <= static_cast<std::size_t>(longest);
         ++length) {
        const std::size_t start = stem.size() - length;
        if (start == 0)
            break;
        const std::string prefix = stem.substr(0, start);
        const std::string_view suffix = std::string_view(stem).substr(start);
        out.push_back({{family, prefix, extra, static_cast<int>(length), {}},
                       valueOf(family, suffix),
                       false});
        // Widened: `level` last symbols, then width + level symbols that do
        // not start with the last symbol.
        for (std::size_t level = 1; 2 * level < length; ++level) {
            if (suffix[level - 1] != lastSymbol(family))
                break;
            if (suffix[level] == lastSymbol(family))
                continue;
            const int width = static_cast<int>(length - 2 * level);
            std::int64_t number = valueOf(family, suffix.substr(level));
            for (int below = 0; below < static_cast<int>(level); ++below)
                number += levelCount(family, width, below);
            out.push_back({{family, prefix, extra, width, {}}, number, true});
        }
    }
}

void unpaddedReadings(const std::string& stem, const std::string& extra,
                      std::vector<Reading>& out) {
    std::size_t run = 0;
    while (run < stem.size() && isDigit(stem[stem.size() - 1 - run]))
        ++run;
    for (std::size_t length = 1; length <= run && length <= kLongestUnpadded; ++length) {
        const std::size_t start = stem.size() - length;
        if (start == 0 || stem[start] == '0')
            continue;
        out.push_back({{Family::Unpadded, stem.substr(0, start), extra, 0, {}},
                       std::stoll(stem.substr(start)),
                       false});
    }
}

// name-00001-of-00005.ext
void ofTotalReadings(const std::string& name, std::vector<Reading>& out) {
    for (std::size_t at = name.find("-of-"); at != std::string::npos;
         at = name.find("-of-", at + 1)) {
        std::size_t digits = 0;
        while (digits < at && isDigit(name[at - 1 - digits]))
            ++digits;
        const std::size_t numberStart = at - digits;
        if (digits == 0 || digits > kLongestUnpadded || numberStart < 2 ||
            name[numberStart - 1] != '-')
            continue;
        std::size_t totalEnd = at + 4;
        while (totalEnd < name.size() && isDigit(name[totalEnd]))
            ++totalEnd;
        const std::size_t totalDigits = totalEnd - at - 4;
        if (totalDigits == 0 || totalDigits > kLongestUnpadded ||
            (totalEnd < name.size() && name[totalEnd] != '.'))
            continue;
        out.push_back({{Family::OfTotal, name.substr(0, numberStart), name.substr(totalEnd),
                        static_cast<int>(digits), name.substr(at + 4, totalDigits)},
                       std::stoll(name.substr(numberStart, digits)),
                       false});
    }
}

// Every way of reading `name` as a piece's name.
std::vector<Reading> readingsOf(const std::string& name) {
    std::vector<Reading> out;
    ofTotalReadings(name, out);
    // The number ends the name, or stands before a tail from a dot.
    for (std::size_t cut = name.size(); cut > 0; cut = name.find_last_of('.', cut - 1)) {
        if (cut == std::string::npos)
            break;
        const std::string stem = name.substr(0, cut);
        const std::string extra = name.substr(cut);
        unpaddedReadings(stem, extra, out);
        fixedReadings(Family::Digits, stem, extra, out);
        fixedReadings(Family::Letters, stem, extra, out);
        if (cut == 0)
            break;
    }
    return out;
}

} // namespace shardix::pieces
