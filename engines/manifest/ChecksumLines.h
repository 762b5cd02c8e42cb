#pragma once

// What the readers of checksum lists share, and the readers of the lists that
// are not sha256sum's kind (.sfv, the file managers' .crc). For ChecksumFile
// only.

#include "engines/manifest/ChecksumFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace shardix::checksumlines {

// `text` in lower case (ASCII letters only).
std::string lower(std::string_view text);

// The number that `digits` (decimal, at most 18 of them) write; nothing for
// any other text.
std::optional<std::int64_t> decimal(std::string_view digits);

// Each line of `text` with its number, without its line end.
template <typename Each> void forEachLine(std::string_view text, Each each) {
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        each(line, number);
    }
}

// Notes that line `line` of the list cannot be read, and why.
void problem(ChecksumList& list, int line, const std::string& why);

// Reads a .sfv list (CRC-32s, ";" comments, cksfv's notes of sizes).
void parseSfv(std::string_view text, ChecksumList& list);

// Reads a file manager's .crc file: "filename=", "size=" and "crc32=" lines,
// the checksum of the whole joined file.
void parseCrcFile(std::string_view text, ChecksumList& list);

} // namespace shardix::checksumlines
