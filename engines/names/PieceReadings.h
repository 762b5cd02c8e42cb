#pragma once

// The ways a file name can be read as a piece of a set: the scheme of its
// name, the text around its number, and the number. For PieceSet only.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shardix::pieces {

// How a name carries its number. Every scheme is one of these, told apart by
// the text around the number (see schemeOf).
enum class Family {
    Unpadded, // digits without a leading zero, any count of them
    Digits,   // a fixed count of digits, maybe widened as split widens them
    Letters,  // a fixed count of letters a..z, maybe widened as split widens them
    OfTotal,  // -N-of-M
};

// What the names of one set share: all but the number.
struct Key {
    Family family = Family::Unpadded;
    std::string prefix; // before the number
    std::string extra;  // after it: "" or a tail from a dot (".bin", split's --additional-suffix)
    int width = 0;      // Digits, Letters: the count of characters before any widening
    std::string total;  // OfTotal: M as written
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    std::size_t operator()(const Key& k) const {
        const std::hash<std::string> h;
        return h(k.prefix) ^ (h(k.extra) * 31) ^ (h(k.total) * 131) ^
               (static_cast<std::size_t>(k.width) << 8) ^ static_cast<std::size_t>(k.family);
    }
};

struct Reading {
    Key key;
    std::int64_t number = 0;
    bool widened = false;
};

constexpr int kLongestLetters = 12; // 26^12 and its widened offsets still fit 63 bits

constexpr int kLongestDigits = 18;

constexpr int kLongestUnpadded = 9;

bool isDigit(char c);

bool isLetter(char c);

int radixOf(Family family);

char firstSymbol(Family family);

char lastSymbol(Family family);

std::int64_t power(std::int64_t radix, int exponent);

// How many names split writes at widening level `level` of a suffix `width`
// long: at level 0 all but those that start with the last symbol, which begin
// the next level ("xaa" .. "xyz", then "xzaaa" .. "xzyzz", "xzzaaaa" ..).
std::int64_t levelCount(Family family, int width, int level);

std::int64_t valueOf(Family family, std::string_view symbols);

std::string symbolsOf(Family family, std::int64_t value, int width);

bool endsWithSeparator(const std::string& text);

// Whether the prefix ends with ".part" (or "-part", "_part"), in any capitals.
bool endsWithPartMarker(const std::string& prefix);

// Adds the readings of the digits or letters that end `stem`, as a fixed
// count of them and as split's widened names.
void fixedReadings(Family family, const std::string& stem, const std::string& extra,
                   std::vector<Reading>& out);

void unpaddedReadings(const std::string& stem, const std::string& extra, std::vector<Reading>& out);

// name-00001-of-00005.ext
void ofTotalReadings(const std::string& name, std::vector<Reading>& out);

// Every way of reading `name` as a piece's name.
std::vector<Reading> readingsOf(const std::string& name);

} // namespace shardix::pieces
