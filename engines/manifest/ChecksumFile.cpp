#include "engines/manifest/ChecksumFile.h"

#include "engines/io/MeasuredFile.h"
#include "engines/manifest/ChecksumLines.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace shardix {

using namespace checksumlines;

namespace {

// A list of 999 pieces takes some 100 KiB; anything much longer is not one.
constexpr std::int64_t kLongestList = 16 << 20;

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The part of a list's name that tells what it holds: its extension without a
// trailing "sum" or "sums" (".sha256sum"), or the stem of "SHA256SUMS".
std::string kindOfName(std::string_view fileName) {
    const std::string name = lower(fileName.substr(fileName.find_last_of('/') + 1));
    const std::size_t dot = name.find_last_of('.');
    std::string kind = dot == std::string::npos ? name : name.substr(dot + 1);
    if (dot == std::string::npos && !endsWith(kind, "sums") && !endsWith(kind, "sum"))
        return {};
    if (kind != "sums" && endsWith(kind, "sums"))
        kind.resize(kind.size() - 4);
    else if (kind != "sum" && endsWith(kind, "sum"))
        kind.resize(kind.size() - 3);
    return kind;
}

std::optional<HashAlgorithm> algorithmOfKind(const std::string& kind) {
    static const std::map<std::string, HashAlgorithm> kinds = {
        {"sha256", HashAlgorithm::Sha256}, {"sha1", HashAlgorithm::Sha1},
        {"md5", HashAlgorithm::Md5},       {"b2", HashAlgorithm::Blake2b512},
        {"sha512", HashAlgorithm::Sha512}, {"sfv", HashAlgorithm::Crc32},
        {"crc", HashAlgorithm::Crc32},     {"sha224", HashAlgorithm::Sha224},
        {"sha384", HashAlgorithm::Sha384},
    };
    const auto at = kinds.find(kind);
    if (at == kinds.end())
        return std::nullopt;
    return at->second;
}

std::string escapedName(std::string_view name, bool& ok) {
    std::string plain;
    ok = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            plain += name[i];
            continue;
        }
        if (++i == name.size()) {
            ok = false;
            return plain;
        }
        switch (name[i]) {
        case '\\':
            plain += '\\';
            break;
        case 'n':
            plain += '\n';
            break;
        case 'r':
            plain += '\r';
            break;
        default:
            ok = false;
            return plain;
        }
    }
    return plain;
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Why a BLAKE2b checksum of `digits` hexadecimal digits cannot be checked.
std::string unsupportedBlake2(std::size_t digits) {
    return "a BLAKE2b checksum of " + std::to_string(digits * 4) + " bits (b2sum -l " +
           std::to_string(digits * 4) +
           "); only those of 128, 160, 224, 256, 384 and 512 bits can be checked";
}

// The BLAKE2b of `digits` digits, or why none.
std::optional<HashAlgorithm> blake2bOfDigits(std::size_t digits, std::string& why) {
    const std::optional<HashAlgorithm> algorithm = blake2bOfBits(digits * 4);
    if (!algorithm)
        why = unsupportedBlake2(digits);
    return algorithm;
}

// The algorithm of a --tag line's tag, or why it is not checked.
std::optional<HashAlgorithm> algorithmOfTag(std::string_view tag, std::size_t digits,
                                            std::string& why) {
    if (tag == "SHA256")
        return HashAlgorithm::Sha256;
    if (tag == "SHA1")
        return HashAlgorithm::Sha1;
    if (tag == "MD5")
        return HashAlgorithm::Md5;
    if (tag == "SHA512")
        return HashAlgorithm::Sha512;
    if (tag == "SHA224")
        return HashAlgorithm::Sha224;
    if (tag == "SHA384")
        return HashAlgorithm::Sha384;
    if (tag == "BLAKE2b" || tag == "BLAKE2b-512")
        return HashAlgorithm::Blake2b512;
    // b2sum -l N --tag writes BLAKE2b-N.
    if (tag.substr(0, 8) == "BLAKE2b-") {
        if (tag.substr(8) != std::to_string(digits * 4)) {
            why = "a BLAKE2b-" + std::string(tag.substr(8)) + " checksum of " +
                  std::to_string(digits) + " digits";
            return std::nullopt;
        }
        return blake2bOfDigits(digits, why);
    } else
        why = "checksums of the kind " + std::string(tag) + " are not checked";
    return std::nullopt;
}

// The algorithm of a plain line of `digits` digits in a list whose name tells
// `named` (or nothing), or why none.
std::optional<HashAlgorithm> algorithmOfLine(std::optional<HashAlgorithm> named, std::size_t digits,
                                             std::string& why) {
    if (named) {
        if (digits == digestDigits(*named))
            return named;
        // b2sum -l N writes N / 4 digits into a list named .b2 all the same.
        if (*named == HashAlgorithm::Blake2b512 && digits % 2 == 0 && digits < 128)
            return blake2bOfDigits(digits, why);
        else
            why = "not a " + std::string(algorithmName(*named)) + " checksum (" +
                  std::to_string(digits) + " digits instead of " +
                  std::to_string(digestDigits(*named)) + ")";
        return std::nullopt;
    }
    switch (digits) {
    case 32:
        return HashAlgorithm::Md5;
    case 40:
        return HashAlgorithm::Sha1;
    // These lengths are those of two algorithms: a list that checked with
    // the wrong one would blame pieces that are whole.
    case 56:
    case 64:
    case 96:
    case 128:
        why = std::to_string(digits) + " digits are a SHA-" + std::to_string(digits * 4) +
              " or a BLAKE2b-" + std::to_string(digits * 4) +
              " checksum, and the list's name does not tell which: name it .sha" +
              std::to_string(digits * 4) + " or .b2";
        return std::nullopt;
    default:
        why = "no checksum of a known length (" + std::to_string(digits) + " digits)";
        return std::nullopt;
    }
}

// Where a tagged line ("SHA256 (NAME) = DIGITS", after its backslash) has its
// " (" and its ") = "; nothing for a line that is not tagged.
std::optional<std::pair<std::size_t, std::size_t>> tagOf(std::string_view rest) {
    const std::size_t open = rest.find(" (");
    const std::size_t close = rest.rfind(") = ");
    if (open == std::string_view::npos || close == std::string_view::npos || open >= close ||
        open == 0)
        return std::nullopt;
    const bool word = std::all_of(rest.begin(), rest.begin() + static_cast<long>(open), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    });
    return word ? std::optional(std::pair(open, close)) : std::nullopt;
}

// The checksum and the name of a tagged line; why not, if it cannot be read.
std::string readTagged(std::string_view rest, std::pair<std::size_t, std::size_t> tag,
                       ChecksumEntry& entry, std::string_view& name) {
    const auto [open, close] = tag;
    const std::string_view digits = rest.substr(close + 4);
    name = rest.substr(open + 2, close - open - 2);
    std::string why;
    const auto algorithm = algorithmOfTag(rest.substr(0, open), digits.size(), why);
    if (!algorithm)
        return why;
    const auto digest = normalDigest(*algorithm, digits);
    if (!digest)
        return "not a " + std::string(algorithmName(*algorithm)) + " checksum";
    entry.algorithm = *algorithm;
    entry.digest = *digest;
    return {};
}

// The checksum and the name of a plain line ("DIGITS  NAME", "DIGITS *NAME");
// why not, if it cannot be read.
std::string readPlain(std::string_view rest, std::optional<HashAlgorithm> named,
                      ChecksumEntry& entry, std::string_view& name) {
    std::size_t digits = 0;
    while (digits < rest.size() && isHex(rest[digits]))
        ++digits;
    if (digits == 0 || digits + 1 >= rest.size() || (rest[digits] != ' ' && rest[digits] != '\t'))
        return "not a checksum followed by a name";
    std::string why;
    const auto algorithm = algorithmOfLine(named, digits, why);
    if (!algorithm)
        return why;
    entry.algorithm = *algorithm;
    entry.digest = *normalDigest(*algorithm, rest.substr(0, digits));
    name = rest.substr(digits + 1);
    if (name.front() == ' ' || name.front() == '*')
        name.remove_prefix(1);
    return {};
}

// One line of sha256sum and its kin, plain or tagged; why not, if it cannot be read.
std::string readSumLine(std::string_view line, std::optional<HashAlgorithm> named,
                        ChecksumEntry& entry, bool& tagged) {
    std::size_t i = line.find_first_not_of(" \t");
    const bool escaped = line[i] == '\\';
    if (escaped)
        ++i;
    const std::string_view rest = line.substr(i);
    std::string_view name;
    const auto tag = tagOf(rest);
    if (tag)
        tagged = true;
    if (std::string why =
            tag ? readTagged(rest, *tag, entry, name) : readPlain(rest, named, entry, name);
        !why.empty())
        return why;
    if (name.empty())
        return "no file name";
    if (name.find('\0') != std::string_view::npos)
        return "a file name with a null byte";
    if (!escaped) {
        entry.name = std::string(name);
        return {};
    }
    bool ok = true;
    entry.name = escapedName(name, ok);
    return ok ? std::string() : "a backslash that is not followed by \\, n or r";
}

std::optional<std::int64_t> noteLength(std::string_view line, std::string_view prefix) {
    using notes::kBytes;
    if (line.substr(0, prefix.size()) != prefix || !endsWith(line, kBytes) ||
        line.size() < prefix.size() + kBytes.size())
        return std::nullopt;
    return decimal(line.substr(prefix.size(), line.size() - prefix.size() - kBytes.size()));
}

// The count of pieces and whether the whole file follows, from our note
// "# listed below: N segments and the whole file".
bool readCountNote(std::string_view line, ChecksumList& list) {
    if (line.substr(0, notes::kCount.size()) != notes::kCount)
        return false;
    line.remove_prefix(notes::kCount.size());
    const bool whole = endsWith(line, notes::kAndWhole);
    if (whole)
        line.remove_suffix(notes::kAndWhole.size());
    for (const std::string_view unit :
         {std::string_view(" segments"), std::string_view(" segment")}) {
        if (line.size() <= unit.size() || !endsWith(line, unit))
            continue;
        const auto count = decimal(line.substr(0, line.size() - unit.size()));
        if (!count)
            return false;
        list.announcedPieces = static_cast<std::size_t>(*count);
        list.announcesWhole = whole;
        return true;
    }
    return false;
}

void parseSums(std::string_view text, std::optional<HashAlgorithm> named, ChecksumList& list) {
    std::optional<ChecksumEntry> note;
    bool notes = false;
    bool tags = false;
    forEachLine(text, [&](std::string_view line, int number) {
        if (line.find_first_not_of(" \t") == std::string_view::npos)
            return;
        if (line.front() == '#') {
            if (readCountNote(line, list))
                notes = true;
            else if (auto length = noteLength(line, notes::kPiece)) {
                note = ChecksumEntry{{},     HashAlgorithm::Sha256,      {},
                                     length, ChecksumEntry::Role::Piece, 0};
                notes = true;
            } else if (auto whole = noteLength(line, notes::kWhole)) {
                note = ChecksumEntry{{},    HashAlgorithm::Sha256,      {},
                                     whole, ChecksumEntry::Role::Whole, 0};
                notes = true;
            }
            return;
        }
        ChecksumEntry entry = note.value_or(ChecksumEntry{});
        note.reset();
        entry.line = number;
        const std::string why = readSumLine(line, named, entry, tags);
        if (!why.empty())
            problem(list, number, why);
        else
            list.entries.push_back(std::move(entry));
    });
    list.format = notes  ? ChecksumFormat::Ours
                  : tags ? ChecksumFormat::Tags
                         : ChecksumFormat::Lines;
}

} // namespace

bool isChecksumListName(std::string_view fileName) {
    const std::string kind = kindOfName(fileName);
    return kind == "sums" || kind == "sum" || algorithmOfKind(kind).has_value();
}

std::optional<HashAlgorithm> algorithmOfName(std::string_view fileName) {
    return algorithmOfKind(kindOfName(fileName));
}

ChecksumList parseChecksumList(std::string_view text, std::string_view fileName) {
    ChecksumList list;
    list.endsWithLineFeed = text.empty() || text.back() == '\n';
    const std::string kind = kindOfName(fileName);
    if (kind == "sfv")
        parseSfv(text, list);
    else if (kind == "crc" || lower(text.substr(0, 9)) == "filename=")
        parseCrcFile(text, list);
    else
        parseSums(text, algorithmOfKind(kind), list);
    return list;
}

Result<ChecksumList> readChecksumList(const std::string& path) {
    return guarded([&]() -> Result<ChecksumList> {
        const MeasuredFile file = valueOrRaise(openMeasured(path));
        if (file.length > kLongestList)
            return Error::of(ErrorKind::FileAccess, shardix::quoted(path) +
                                                        " is too long to be a list of checksums (" +
                                                        std::to_string(file.length) + " bytes).");
        std::string text(static_cast<std::size_t>(file.length), '\0');
        if (Result<> read = readExactly(file.file, 0, text.data(), file.length); !read.ok())
            return read.error();
        return parseChecksumList(text, path);
    });
}

std::string unreadableLineNote(ChecksumFormat format, HashAlgorithm algorithm) {
    if (format == ChecksumFormat::Sfv)
        return "not a line of an .sfv file";
    if (format == ChecksumFormat::CrcFile)
        return "not a line of a .crc file";
    static const std::map<HashAlgorithm, const char*> tools = {
        {HashAlgorithm::Sha256, "sha256sum"}, {HashAlgorithm::Sha1, "sha1sum"},
        {HashAlgorithm::Md5, "md5sum"},       {HashAlgorithm::Blake2b512, "b2sum"},
        {HashAlgorithm::Sha512, "sha512sum"}, {HashAlgorithm::Crc32, "cksfv"},
        {HashAlgorithm::Sha224, "sha224sum"}, {HashAlgorithm::Sha384, "sha384sum"},
        {HashAlgorithm::Blake2b128, "b2sum"}, {HashAlgorithm::Blake2b160, "b2sum"},
        {HashAlgorithm::Blake2b224, "b2sum"}, {HashAlgorithm::Blake2b256, "b2sum"},
        {HashAlgorithm::Blake2b384, "b2sum"},
    };
    return std::string("not a line that ") + tools.at(algorithm) + " -c reads";
}

bool staysInFolder(std::string_view name) {
    if (name.empty() || name.front() == '/')
        return false;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace shardix
