#include "engines/manifest/Manifest.h"

#include "engines/io/FileIo.h"
#include "engines/io/MeasuredFile.h"
#include "engines/io/ReplacementFile.h"
#include "errors/Error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace shardix {

namespace {

// A manifest of 999 segments takes some 100 KiB; anything much longer is not one.
constexpr std::int64_t kLongestManifest = 16 << 20;

constexpr std::string_view kSegmentNote = "# segment: ";
constexpr std::string_view kWholeNote = "# whole file: ";
constexpr std::string_view kBytes = " bytes";
constexpr std::string_view kTag = "SHA256";
constexpr std::string_view kCountNote = "# listed below: ";
constexpr std::string_view kAndWhole = " and the whole file";

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The 64 digits at the start of `text` in lower case, or nothing.
std::optional<std::string> digestAt(std::string_view text) {
    if (text.size() < 64)
        return std::nullopt;
    std::string digest(text.substr(0, 64));
    for (char& c : digest) {
        if (!isHex(c))
            return std::nullopt;
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return digest;
}

// A name as sha256sum gives it on a line that starts with a backslash.
std::optional<std::string> unescaped(std::string_view name) {
    std::string plain;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            plain += name[i];
            continue;
        }
        if (++i == name.size())
            return std::nullopt;
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
            return std::nullopt;
        }
    }
    return plain;
}

// The length in a note "<prefix>N bytes".
std::optional<std::int64_t> noteLength(std::string_view line, std::string_view prefix) {
    if (line.substr(0, prefix.size()) != prefix || line.size() < prefix.size() + kBytes.size() ||
        line.substr(line.size() - kBytes.size()) != kBytes)
        return std::nullopt;
    const std::string_view digits =
        line.substr(prefix.size(), line.size() - prefix.size() - kBytes.size());
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

// The number of segments and whether the whole file follows, from a note
// "# listed below: N segments and the whole file".
bool readCountNote(std::string_view line, Manifest& manifest) {
    if (line.substr(0, kCountNote.size()) != kCountNote)
        return false;
    line.remove_prefix(kCountNote.size());
    const bool whole =
        line.size() >= kAndWhole.size() && line.substr(line.size() - kAndWhole.size()) == kAndWhole;
    if (whole)
        line.remove_suffix(kAndWhole.size());
    for (const std::string_view unit :
         {std::string_view(" segments"), std::string_view(" segment")}) {
        if (line.size() > unit.size() && line.substr(line.size() - unit.size()) == unit) {
            const std::string_view digits = line.substr(0, line.size() - unit.size());
            if (digits.size() > 9 ||
                digits.find_first_not_of("0123456789") != std::string_view::npos)
                return false;
            manifest.announcedSegments = std::stoul(std::string(digits));
            manifest.announcesWhole = whole;
            return true;
        }
    }
    return false;
}

// Reads one line that lists a file, as sha256sum -c does; why not, if it cannot.
std::string readEntry(std::string_view line, ManifestEntry& entry) {
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return "no checksum";
    const bool escaped = line[i] == '\\';
    if (escaped)
        ++i;
    std::string_view rest = line.substr(i);
    std::string_view name;
    if (rest.substr(0, kTag.size()) == kTag) {
        // SHA256 (<name>) = <digits>
        rest.remove_prefix(kTag.size());
        if (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        const std::size_t close = rest.rfind(") = ");
        if (rest.empty() || rest.front() != '(' || close == std::string_view::npos)
            return "not a line of sha256sum";
        name = rest.substr(1, close - 1);
        const std::string_view digits = rest.substr(close + 4);
        const auto digest = digestAt(digits);
        if (!digest || digits.size() != 64)
            return "not a SHA-256 checksum";
        entry.digest = *digest;
    } else {
        const auto digest = digestAt(rest);
        if (!digest || rest.size() < 66 || (rest[64] != ' ' && rest[64] != '\t'))
            return "not a SHA-256 checksum followed by a name";
        entry.digest = *digest;
        name = rest.substr(65);
        if (name.front() == ' ' || name.front() == '*')
            name.remove_prefix(1);
    }
    if (name.empty())
        return "no file name";
    if (name.find('\0') != std::string_view::npos)
        return "a file name with a null byte";
    if (!escaped) {
        entry.name = std::string(name);
        return {};
    }
    const auto plain = unescaped(name);
    if (!plain)
        return "a backslash that is not followed by \\, n or r";
    entry.name = *plain;
    return {};
}

std::string escapedLine(const ManifestEntry& entry) {
    const std::string shown = Manifest::shownName(entry.name);
    if (shown.size() == entry.name.size())
        return entry.digest + "  " + entry.name + "\n";
    return "\\" + entry.digest + "  " + shown.substr(1) + "\n";
}

} // namespace

Manifest Manifest::parse(std::string_view text) {
    Manifest manifest;
    manifest.endsWithLineFeed = text.empty() || text.back() == '\n';
    std::optional<ManifestEntry> note; // what the last note said of the next file
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() == '#') {
            if (readCountNote(line, manifest))
                continue;
            if (auto length = noteLength(line, kSegmentNote))
                note = ManifestEntry{{}, {}, false, length};
            else if (auto wholeLength = noteLength(line, kWholeNote))
                note = ManifestEntry{{}, {}, true, wholeLength};
            continue;
        }
        ManifestEntry entry = note.value_or(ManifestEntry{});
        note.reset();
        const std::string why = readEntry(line, entry);
        if (!why.empty())
            manifest.problems.push_back("line " + std::to_string(number) + ": " + why);
        else
            manifest.entries.push_back(std::move(entry));
    }
    return manifest;
}

Manifest Manifest::read(const std::string& path) {
    const MeasuredFile file = openMeasured(path);
    if (file.length > kLongestManifest)
        fail(Error::of(ErrorKind::FileAccess, "\"" + path +
                                                  "\" is too long to be a list of checksums (" +
                                                  std::to_string(file.length) + " bytes)."));
    std::string text(static_cast<std::size_t>(file.length), '\0');
    readExactly(file.file, 0, text.data(), file.length);
    return parse(text);
}

Result<> Manifest::checkComplete(const std::string& path) const {
    const auto incomplete = [&](const std::string& why) {
        return Error::of(ErrorKind::Refused, "\"" + path + "\": " + why + ": it is incomplete.");
    };
    if (!announcedSegments)
        return {};
    const auto segments = static_cast<std::size_t>(std::count_if(
        entries.begin(), entries.end(), [](const ManifestEntry& e) { return !e.whole; }));
    const bool whole =
        std::any_of(entries.begin(), entries.end(), [](const ManifestEntry& e) { return e.whole; });
    const std::string announced =
        std::to_string(*announcedSegments) + " piece" + (*announcedSegments == 1 ? "" : "s");
    if (segments < *announcedSegments)
        return incomplete("it lists " + std::to_string(segments) + " of the " + announced +
                          " it announces");
    if (announcesWhole && !whole)
        return incomplete("it lists the " + announced +
                          " it announces but lacks the whole file's line");
    if (!endsWithLineFeed)
        return incomplete("its last line is cut short");
    return {};
}

std::string Manifest::text() const {
    std::size_t segments = 0;
    bool whole = false;
    for (const ManifestEntry& entry : entries) {
        if (entry.whole)
            whole = true;
        else
            ++segments;
    }
    std::string text =
        "# SHA-256 checksums written by shardix-cli: the segments in order, then the "
        "whole file.\n# Check them with sha256sum -c --ignore-missing in this "
        "folder, or with shardix-cli verify.\n" +
        std::string(kCountNote) + std::to_string(segments) +
        (segments == 1 ? " segment" : " segments") + (whole ? std::string(kAndWhole) : "") + "\n";
    for (const ManifestEntry& entry : entries) {
        if (entry.length)
            text += std::string(entry.whole ? kWholeNote : kSegmentNote) +
                    std::to_string(*entry.length) + std::string(kBytes) + "\n";
        text += escapedLine(entry);
    }
    return text;
}

void Manifest::write(const std::string& path) const {
    const std::string bytes = text();
    ReplacementFile out(path);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(out.file().fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail(Error::fromErrno(n < 0 ? errno : ENOSPC, "write", path));
        done += static_cast<std::size_t>(n);
    }
    out.commit(true);
}

std::string Manifest::shownName(const std::string& name) {
    if (name.find_first_of("\\\n\r") == std::string::npos)
        return name;
    std::string shown = "\\";
    for (const char c : name) {
        if (c == '\\')
            shown += "\\\\";
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else
            shown += c;
    }
    return shown;
}

std::string Manifest::folderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('/') + 1);
}

} // namespace shardix
