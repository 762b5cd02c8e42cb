#pragma once

#include "errors/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shardix {

// A shell script that joins a set of pieces without us: only a POSIX shell and
// coreutils (cat, wc, ln, mv, rm, dirname; sha256sum for the check).
struct JoinScript {
    struct Piece {
        std::string name; // in the script's folder
        std::int64_t size = 0;
    };
    // The joined file's name in the script's folder: the source's own name,
    // which the manifest lists as the whole file, so that its check finds it.
    std::string outputName;
    std::vector<Piece> pieces; // in order
    // The manifest in the script's folder ("BASE.sha256"), checked with
    // sha256sum -c after the join when it is there.
    std::optional<std::string> manifestName;
};

// The script's text. Run in any folder as `sh BASE.join.sh`, it goes to its
// own folder, refuses (exit 1, naming it) a missing piece or one of another
// size than when it was cut, and an output name that exists already; joins the
// pieces with cat into a temporary name (never over an existing file) that it
// renames into place when all is written; then, when the manifest is there,
// checks the pieces and the joined file with sha256sum -c.
std::string joinScriptText(const JoinScript& script);

// `text` in single quotes for a POSIX shell, whatever bytes it holds.
std::string shellQuoted(std::string_view text);

// Writes the script to `path`, executable, through a temporary name beside it.
// An existing file of that name is replaced only with `replace`. Refuses names
// with a '/' (the pieces lie beside the script).
Result<> writeJoinScript(const std::string& path, const JoinScript& script, bool replace);

} // namespace shardix
