#include "engines/operations/JoinScript.h"

#include "engines/io/FileIo.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shardix {

namespace {

// A name as a comment may show it: a line feed in a comment would end it, and
// what follows would run.
std::string commentSafe(std::string_view name) {
    std::string shown;
    for (const char c : name)
        shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    return shown;
}

constexpr const char* kHead = R"(#!/bin/sh
# Joins the pieces beside this script, in order, into the file named in "out"
# below, with cat. Run it from any folder: sh path/to/this-script
# It needs a POSIX shell and coreutils only. It stops, and says why, when a
# piece is missing or not as long as when it was cut, or when a file of the
# joined file's name exists: it never overwrites a file. The pieces are joined
# under a temporary name, renamed when all is written.
LC_ALL=C
export LC_ALL
# A CDPATH from the caller would send the cd below elsewhere.
unset CDPATH
me=$0
fail() {
    printf '%s: %s\n' "$me" "$1" >&2
    exit 1
}
dir=$(dirname -- "$0" && echo x) || fail "cannot tell the folder of this script."
dir=${dir%??}
case $dir in -*) dir=./$dir ;; esac
cd "$dir" || fail "cannot go to the folder of this script."
)";

constexpr const char* kBody = R"(
if [ -e "./$out" ] || [ -L "./$out" ]; then
    fail "\"$out\" exists already and is not overwritten: move it away first."
fi
# A piece and its length in bytes.
piece() {
    [ -f "./$1" ] || fail "the piece \"$1\" is missing."
    size=$(wc -c < "./$1") || fail "cannot read the piece \"$1\"."
    size=${size##* }
    [ "$size" -eq "$2" ] ||
        fail "the piece \"$1\" is $size bytes instead of $2: it is damaged or not of this set."
}
)";

constexpr const char* kJoin = R"(
tmp=$out.join-$$.tmp
trap 'rm -f "./$tmp"; exit 1' HUP INT TERM
set -C
joined() {
)";

constexpr const char* kTail = R"(}
if ! joined > "./$tmp"; then
    rm -f "./$tmp"
    fail "the pieces could not be joined into \"$tmp\" (see above)."
fi
set +C
# A hard link never replaces a file; where the file system has none, mv.
if ln "./$tmp" "./$out" 2>/dev/null; then
    rm -f "./$tmp"
elif [ -e "./$out" ] || [ -L "./$out" ]; then
    fail "\"$out\" appeared while the pieces were joined; they are joined in \"$tmp\"."
else
    mv "./$tmp" "./$out" || fail "cannot rename \"$tmp\" to \"$out\"."
fi
trap - HUP INT TERM
)";

constexpr const char* kCheck = R"(if [ -f "./$sums" ]; then
    if ! command -v sha256sum > /dev/null 2>&1; then
        printf '%s\n' "$me: \"$out\" is joined; sha256sum is not here to check it against \"$sums\"." >&2
        exit 0
    fi
    sha256sum -c --quiet "./$sums" ||
        fail "\"$out\" is joined, but it or a piece does not match \"$sums\" (named above)."
fi
)";

} // namespace

std::string shellQuoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string joinScriptText(const JoinScript& script) {
    std::int64_t total = 0;
    for (const auto& piece : script.pieces)
        total += piece.size;
    std::string text = kHead;
    text += "# " + std::to_string(script.pieces.size()) + " pieces, " + std::to_string(total) +
            " bytes, into \"" + commentSafe(script.outputName) + "\".\n";
    text += "out=" + shellQuoted(script.outputName) + "\n";
    text += kBody;
    for (const auto& piece : script.pieces)
        text += "piece " + shellQuoted(piece.name) + " " + std::to_string(piece.size) + "\n";
    text += kJoin;
    text += "    cat";
    for (const auto& piece : script.pieces)
        text += " \\\n        ./" + shellQuoted(piece.name);
    text += "\n";
    text += kTail;
    if (script.manifestName) {
        text += "sums=" + shellQuoted(*script.manifestName) + "\n";
        text += kCheck;
    }
    text += "exit 0\n";
    return text;
}

namespace {

// Refuses names that do not lie in the script's folder.
Result<> refusedNames(const JoinScript& script) {
    const auto refused = [](const std::string& name) {
        return Error::of(ErrorKind::FileAccess,
                         shardix::quoted(name) +
                             " cannot be named in a join script: the pieces, the joined file "
                             "and the manifest lie in the script's folder.");
    };
    const auto outside = [](const std::string& name) {
        return name.empty() || name.find('/') != std::string::npos;
    };
    for (const auto& piece : script.pieces) {
        if (outside(piece.name))
            return refused(piece.name);
    }
    if (outside(script.outputName))
        return refused(script.outputName);
    if (script.manifestName && script.manifestName->find('/') != std::string::npos)
        return refused(*script.manifestName);
    return {};
}

// Writes `text` into the new file `out`, readable and runnable by whoever
// the pieces are passed to; `path` names it in messages.
Result<> writeScriptFile(FileHandle& out, const std::string& text, const std::string& path) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(out.fd(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Error::fromErrno(n < 0 ? errno : ENOSPC, "write", path);
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(out.fd(), 0755) != 0)
        return Error::fromErrno(errno, "write", path);
    return out.close();
}

// Puts the complete file `temporary` in the place of `path`: over a file
// there only when asked; a link never replaces a file that appeared meanwhile.
Result<> putInPlace(const std::string& temporary, const std::string& path, bool replace) {
    if (replace) {
        if (::rename(temporary.c_str(), path.c_str()) != 0)
            return Error::fromErrno(errno, "create", path, Missing::Folder);
        return {};
    }
    if (::link(temporary.c_str(), path.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return {};
    }
    if (errno == EEXIST)
        return Error::of(ErrorKind::FileAccess,
                         shardix::quoted(path) + " exists already; it is replaced only when asked.",
                         path);
    return Error::fromErrno(errno, "create", path, Missing::Folder);
}

} // namespace

Result<> writeJoinScript(const std::string& path, const JoinScript& script, bool replace) {
    if (Result<> refused = refusedNames(script); !refused.ok())
        return refused;
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Error::fromErrno(errno, "create", path, Missing::Folder);
    FileHandle out(fd, temporary);
    Result<> result = writeScriptFile(out, joinScriptText(script), path);
    if (result.ok())
        result = putInPlace(temporary, path, replace);
    if (!result.ok())
        ::unlink(temporary.c_str());
    return result;
}

} // namespace shardix
