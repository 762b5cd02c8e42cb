#pragma once

#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/ManifestEntry.h"
#include "errors/Result.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// A list of checksums as the tools that check them read it. Ours are SHA-256
// in the format that sha256sum writes and checks (sha256sum -c): one line a
// file, "<64 hex digits>  <name>", a line whose name holds a backslash, a line
// feed or a carriage return starting with a backslash and giving those as \\,
// \n and \r. Lines that start with '#' are comments to sha256sum; a comment
// "# segment: N bytes" or "# whole file: N bytes" says what the next listed
// file is and how long. Files without such a note count as pieces of unknown
// length. The manifests written here say in a comment how many pieces they
// list and that the whole file's line follows ("# listed below: 4 segments and
// the whole file"), so that one cut short can be told. The lists of other tools
// (md5sum, sha1sum, b2sum, .sfv, the file managers' .crc) are read by the same
// reader (ChecksumFile), each entry with its own algorithm.
class Manifest {
  public:
    std::vector<ManifestEntry> entries;
    // The lines that could not be read, as "line N: why".
    std::vector<std::string> problems;
    // What the manifest's comment announces, when it has one.
    std::optional<std::size_t> announcedPieces;
    bool announcesWhole = false;
    // Whether its text ends with a line feed, as every complete one does.
    bool endsWithLineFeed = true;
    // The kind of list it was read from.
    ChecksumFormat format = ChecksumFormat::Ours;
    // The program that writes it, named in its first line.
    std::string writtenBy = "shardix-cli";

    // Refuses, naming `path` (where it was read from), a manifest that
    // announces what it lists and is incomplete: it lists fewer pieces than
    // announced, lacks the whole file's line, or ends in the middle of a line.
    // One that announces nothing (a hand-made list) passes.
    Result<> checkComplete(const std::string& path) const;

    // Reads what sha256sum -c reads: the lines above, with a line feed or a
    // carriage return and a line feed at their ends, a '*' instead of the
    // second blank, digits in either case, and the tagged lines
    // "SHA256 (<name>) = <digits>" of sha256sum --tag. Blank lines are
    // skipped. A `fileName` of another kind of list (".md5", ".sfv") reads
    // that kind (parseChecksumList).
    static Manifest parse(std::string_view text, std::string_view fileName = ".sha256");
    // The manifest of a list read by parseChecksumList.
    static Manifest fromList(const ChecksumList& list);
    // Reads the list `path`, of the kind its name tells. Fails when it cannot
    // be read, or is too long to be a list.
    static Result<Manifest> read(const std::string& path);

    // What a line of it that cannot be read is not ("not a line that
    // sha256sum -c reads"), for messages.
    std::string unreadableLine() const;

    // The manifest's text: the listed files in order, each below its note.
    std::string text() const;
    // Writes text() into `path`: into a new file beside it, flushed to the disk
    // and renamed into place when complete, so that `path` holds either its
    // old bytes or the whole new text (a symbolic link is followed, and the
    // file it leads to replaced). On a failure nothing new is left.
    Result<> write(const std::string& path) const;

    // `name` as sha256sum shows it: with a backslash before it and \\, \n
    // and \r in it when it holds a backslash, a line feed or a carriage return.
    static std::string shownName(const std::string& name);

    // The folder that the names of the manifest `path` are relative to, ending
    // with '/' ("" for the current folder).
    static std::string folderOf(const std::string& path);
};

} // namespace shardix
