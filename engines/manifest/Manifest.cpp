#include "engines/manifest/Manifest.h"

#include "engines/io/FileIo.h"
#include "engines/io/ReplacementFile.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>

namespace shardix {

namespace {

std::string escapedLine(const ManifestEntry& entry) {
    const std::string shown = Manifest::shownName(entry.name);
    if (shown.size() == entry.name.size())
        return entry.digest + "  " + entry.name + "\n";
    return "\\" + entry.digest + "  " + shown.substr(1) + "\n";
}

} // namespace

Manifest Manifest::parse(std::string_view text, std::string_view fileName) {
    return fromList(parseChecksumList(text, fileName));
}

Manifest Manifest::fromList(const ChecksumList& list) {
    Manifest manifest;
    for (const ChecksumEntry& entry : list.entries)
        manifest.entries.push_back({entry.digest, entry.name,
                                    entry.role == ChecksumEntry::Role::Whole, entry.length,
                                    entry.algorithm});
    manifest.problems = list.problems;
    manifest.announcedPieces = list.announcedPieces;
    manifest.announcesWhole = list.announcesWhole;
    manifest.endsWithLineFeed = list.endsWithLineFeed;
    manifest.format = list.format;
    return manifest;
}

std::string Manifest::unreadableLine() const {
    return unreadableLineNote(format,
                              entries.empty() ? HashAlgorithm::Sha256 : entries.front().algorithm);
}

Result<Manifest> Manifest::read(const std::string& path) {
    const Result<ChecksumList> list = readChecksumList(path);
    if (!list.ok())
        return list.error();
    return fromList(*list);
}

Result<> Manifest::checkComplete(const std::string& path) const {
    const auto incomplete = [&](const std::string& why) {
        return Error::of(ErrorKind::Refused,
                         shardix::quoted(path) + ": " + why + ": it is incomplete.");
    };
    if (!announcedPieces)
        return {};
    const auto pieces = static_cast<std::size_t>(std::count_if(
        entries.begin(), entries.end(), [](const ManifestEntry& e) { return !e.whole; }));
    const bool whole =
        std::any_of(entries.begin(), entries.end(), [](const ManifestEntry& e) { return e.whole; });
    const std::string announced =
        std::to_string(*announcedPieces) + " piece" + (*announcedPieces == 1 ? "" : "s");
    if (pieces < *announcedPieces)
        return incomplete("it lists " + std::to_string(pieces) + " of the " + announced +
                          " it announces");
    if (announcesWhole && !whole)
        return incomplete("it lists the " + announced +
                          " it announces but lacks the whole file's line");
    if (!endsWithLineFeed)
        return incomplete("its last line is cut short");
    return {};
}

std::string Manifest::text() const {
    std::size_t pieces = 0;
    bool whole = false;
    for (const ManifestEntry& entry : entries) {
        if (entry.whole)
            whole = true;
        else
            ++pieces;
    }
    std::string text = "# SHA-256 checksums written by " + writtenBy +
                       ": the segments in order, then the "
                       "whole file.\n# Check them with sha256sum -c --ignore-missing in this "
                       "folder, or with shardix-cli verify.\n" +
                       std::string(notes::kCount) + std::to_string(pieces) +
                       (pieces == 1 ? " segment" : " segments") +
                       (whole ? std::string(notes::kAndWhole) : "") + "\n";
    for (const ManifestEntry& entry : entries) {
        if (entry.length)
            text += std::string(entry.whole ? notes::kWhole : notes::kPiece) +
                    std::to_string(*entry.length) + std::string(notes::kBytes) + "\n";
        text += escapedLine(entry);
    }
    return text;
}

Result<> Manifest::write(const std::string& path) const {
    return guarded([&]() -> Result<> {
        const std::string bytes = text();
        Result<ReplacementFile> out = ReplacementFile::create(path);
        if (!out.ok())
            return out.error();
        ReplacementFile file = std::move(out).value();
        if (Result<> written =
                writeExactly(file.file(), bytes.data(), static_cast<std::int64_t>(bytes.size()));
            !written.ok())
            return written;
        return file.commit(true);
    });
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
