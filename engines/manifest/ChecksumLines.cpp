#include "engines/manifest/ChecksumLines.h"

#include <algorithm>
#include <map>

namespace shardix::checksumlines {

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::optional<std::int64_t> decimal(std::string_view digits) {
    if (digits.empty() || digits.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

void problem(ChecksumList& list, int line, const std::string& why) {
    list.problems.push_back("line " + std::to_string(line) + ": " + why);
}

void parseSfv(std::string_view text, ChecksumList& list) {
    list.format = ChecksumFormat::Sfv;
    // cksfv notes each file's size above the list: ";  <size>  <hh:mm.ss> <date> <name>".
    std::map<std::string, std::int64_t> sizes;
    forEachLine(text, [&](std::string_view line, int number) {
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            return;
        if (line.front() == ';') {
            std::string_view rest = line.substr(1);
            rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(' ')));
            const std::size_t sizeEnd = rest.find("  ");
            if (sizeEnd == std::string_view::npos)
                return;
            const auto size = decimal(rest.substr(0, sizeEnd));
            std::string_view after = rest.substr(sizeEnd + 2);
            // "hh:mm.ss yyyy-mm-dd name"
            if (!size || after.size() < 20 || after[2] != ':' || after[5] != '.' ||
                after[8] != ' ' || after[13] != '-' || after[19] != ' ')
                return;
            sizes[std::string(after.substr(20))] = *size;
            return;
        }
        const std::size_t blank = line.find_last_of(" \t");
        if (blank == std::string_view::npos || blank == 0) {
            problem(list, number, "not a file name followed by a CRC-32");
            return;
        }
        const auto digest = normalDigest(HashAlgorithm::Crc32, line.substr(blank + 1));
        std::string_view name = line.substr(0, blank);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        if (!digest || name.empty()) {
            problem(list, number, "not a file name followed by a CRC-32 of 8 digits");
            return;
        }
        ChecksumEntry entry;
        entry.name = std::string(name);
        entry.algorithm = HashAlgorithm::Crc32;
        entry.digest = *digest;
        entry.line = number;
        list.entries.push_back(std::move(entry));
    });
    for (ChecksumEntry& entry : list.entries) {
        if (const auto at = sizes.find(entry.name); at != sizes.end())
            entry.length = at->second;
    }
}

void parseCrcFile(std::string_view text, ChecksumList& list) {
    list.format = ChecksumFormat::CrcFile;
    ChecksumEntry entry;
    entry.algorithm = HashAlgorithm::Crc32;
    entry.role = ChecksumEntry::Role::Whole;
    bool named = false;
    forEachLine(text, [&](std::string_view line, int number) {
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            return;
        const std::size_t equals = line.find('=');
        const std::string key = lower(line.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
        if (key == "filename" && !value.empty()) {
            entry.name = std::string(value);
            entry.line = number;
            named = true;
        } else if (key == "size") {
            entry.length = decimal(value);
            if (!entry.length)
                problem(list, number, "a size that is not a number of bytes");
        } else if (key == "crc32") {
            const auto digest = normalDigest(HashAlgorithm::Crc32, value);
            if (digest)
                entry.digest = *digest;
            else
                problem(list, number, "a CRC-32 that is not 8 hexadecimal digits");
        } else {
            problem(list, number, "not a line filename=, size= or crc32=");
        }
    });
    if (!named || entry.digest.empty()) {
        list.problems.push_back(std::string("no ") + (named ? "crc32=" : "filename=") +
                                " line: not a .crc file of a split file");
        return;
    }
    list.entries.push_back(std::move(entry));
}

} // namespace shardix::checksumlines
