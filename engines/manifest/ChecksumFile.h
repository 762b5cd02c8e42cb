#pragma once

#include "engines/checksums/Hasher.h"
#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// The kinds of checksum lists read.
enum class ChecksumFormat {
    Lines,   // sha256sum, sha1sum, md5sum, b2sum, sha512sum: "<digits>  <name>"
    Tags,    // the same tools' --tag lines: "SHA256 (<name>) = <digits>", any mixed in
    Ours,    // Lines of SHA-256 with "# segment: N bytes" and "# whole file: N bytes" notes
    Sfv,     // "<name> <CRC-32>", ';' comments (cksfv)
    CrcFile, // the file managers' .crc file: filename=, size=, crc32= of the whole file
};

// The comments of our own lists, which Manifest writes and the reader here
// reads: "# segment: N bytes" and "# whole file: N bytes" above a line, and
// "# listed below: N segments and the whole file" above them all.
namespace notes {
inline constexpr std::string_view kPiece = "# segment: ";
inline constexpr std::string_view kWhole = "# whole file: ";
inline constexpr std::string_view kBytes = " bytes";
inline constexpr std::string_view kCount = "# listed below: ";
inline constexpr std::string_view kAndWhole = " and the whole file";
} // namespace notes

// One file that a list names, and its checksum.
struct ChecksumEntry {
    enum class Role {
        Unknown, // a list that does not say: a piece or the whole, as its name tells
        Piece,
        Whole, // the file the pieces join into
    };
    std::string name; // relative to the list's folder, unescaped
    HashAlgorithm algorithm = HashAlgorithm::Sha256;
    std::string digest; // as Hasher::digest() writes it (normalDigest)
    std::optional<std::int64_t> length;
    Role role = Role::Unknown;
    int line = 0; // where it stands in the list, from 1
};

// A checksum list of any of the formats, read into one model.
struct ChecksumList {
    ChecksumFormat format = ChecksumFormat::Lines;
    std::vector<ChecksumEntry> entries;
    // What could not be read, as "line N: why" (or why not at all).
    std::vector<std::string> problems;
    // What our own lists announce in a comment ("# listed below: 4 segments
    // and the whole file"), so that one cut short can be told.
    std::optional<std::size_t> announcedPieces;
    bool announcesWhole = false;
    // Whether the text ends with a line feed, as every complete list does.
    bool endsWithLineFeed = true;
};

// Whether a file of this name is read as a checksum list: .sha256 .sha1 .md5
// .b2 .sha512 .sums .sfv .crc (and .sha256sum, .md5sum ..), SHA256SUMS,
// MD5SUMS, B2SUMS and the like.
bool isChecksumListName(std::string_view fileName);

// The algorithm that the name of a list of plain lines tells (".md5",
// "SHA1SUMS"); nothing for names that do not tell (".sums"), whose lines are
// then told by the count of their digits.
std::optional<HashAlgorithm> algorithmOfName(std::string_view fileName);

// Reads the text of a list called `fileName` (its name tells the format and,
// for plain lines, the algorithm). Lines that sha256sum -c and the like read
// are read the same way: a '*' or a blank before the name, a backslash before a
// line whose name has \\, \n or \r in it, digits in either case, line feeds with
// or without carriage returns. Our own manifests are such lists with comments
// (Manifest reads them through here).
ChecksumList parseChecksumList(std::string_view text, std::string_view fileName);

// Reads the list `path`. Fails naming it when it cannot be read, is not a
// regular file, or is too long to be a list.
Result<ChecksumList> readChecksumList(const std::string& path);

// What a line of such a list that cannot be read is not, for messages: "not
// a line that md5sum -c reads", "not a line of an .sfv file".
std::string unreadableLineNote(ChecksumFormat format, HashAlgorithm algorithm);

// Whether `name`, relative to a list's folder, stays inside it: not absolute,
// no ".." among its parts.
bool staysInFolder(std::string_view name);

} // namespace shardix
