#include "engines/operations/ManifestAndScript.h"

#include "engines/io/FileIo.h"
#include "engines/manifest/Manifest.h"
#include "engines/names/PiecePolicy.h"
#include "engines/operations/JoinScript.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <sys/stat.h>
#include <unistd.h>

namespace shardix {

namespace {

std::string fileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// Whether something that is no folder is at `path` (a link too).
bool isThere(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Refuses the companion `path` ("the manifest") when it cannot be written,
// or when `wholeName` is its own name.
Result<> refusedCompanion(const std::string& path, const std::string& what,
                          const std::string& wholeName) {
    if (Result<> refused = refusedOutput(path); !refused.ok())
        return refused;
    if (Result<> refused = refusedLongName(path, what); !refused.ok())
        return refused;
    if (wholeName == fileNameOf(path))
        return Error::refusedName("The whole file would have the name of " + what + ", " +
                                  shardix::quoted(wholeName) +
                                  "; please choose another base name.");
    return {};
}

// The manifest of the pieces of `basePath` that `report` describes.
Manifest manifestOf(const std::string& basePath, const std::string& wholeName, int digits,
                    const SegmentReport& report) {
    const Checksums& sums = report.checksums;
    Manifest manifest;
    std::int64_t total = 0;
    for (std::size_t k = 0; k < sums.parts.size(); ++k) {
        manifest.entries.push_back(
            {sums.parts[k],
             pieceName(fileNameOf(basePath), static_cast<std::int64_t>(k + 1), digits), false,
             sums.lengths[k]});
        total += sums.lengths[k];
    }
    manifest.entries.push_back({sums.whole.value_or(""), wholeName, true, total});
    return manifest;
}

// The join script of the pieces of `basePath` that `report` describes.
JoinScript joinScriptOf(const std::string& basePath, const std::string& wholeName,
                        const SegmentOptions& options, const SegmentReport& report) {
    JoinScript script;
    script.outputName = wholeName;
    const std::vector<std::int64_t>& lengths = report.checksums.lengths;
    for (std::size_t k = 0; k < lengths.size(); ++k)
        script.pieces.push_back(
            {pieceName(fileNameOf(basePath), static_cast<std::int64_t>(k + 1), options.digits),
             lengths[k]});
    if (options.writeManifest)
        script.manifestName = fileNameOf(manifestPathFor(basePath));
    return script;
}

// Writes the manifest when the cut succeeded and asks for it; else, or when
// it cannot be written, the old one goes, unless it lists exactly the new pieces.
Result<> settleManifest(const std::string& basePath, const std::string& wholeName,
                        const SegmentOptions& options, bool hadManifest, const Result<>& run,
                        SegmentReport& report) {
    const std::string path = manifestPathFor(basePath);
    Result<> result = run;
    if (run.ok() && options.writeManifest) {
        Manifest fresh = manifestOf(basePath, wholeName, options.digits, report);
        fresh.writtenBy = options.writer;
        const Result<> written = fresh.write(path);
        if (written.ok())
            return {};
        result = written.error();
        if (hadManifest) {
            const Result<Manifest> old = Manifest::read(path);
            if (old.ok() && old->entries == fresh.entries)
                return result;
        }
    }
    if (hadManifest && ::unlink(path.c_str()) == 0)
        report.removedOldManifest = true;
    return result;
}

// Writes the join script when the cut succeeded and asks for it, over an old
// one only; else, or when it cannot be written, the old one goes.
Result<> settleJoinScript(const std::string& basePath, const std::string& wholeName,
                          const SegmentOptions& options, bool hadScript, const Result<>& run,
                          SegmentReport& report) {
    const std::string path = joinScriptPathFor(basePath);
    Result<> result = run;
    if (run.ok() && options.writeJoinScript) {
        result =
            writeJoinScript(path, joinScriptOf(basePath, wholeName, options, report), hadScript);
        if (result.ok())
            return result;
    }
    if (hadScript && ::unlink(path.c_str()) == 0)
        report.removedOldJoinScript = true;
    return result;
}

} // namespace

Result<> refusedLongName(const std::string& path, const std::string& what) {
    const long longest = ::pathconf(folderOf(path).c_str(), _PC_NAME_MAX);
    const std::size_t length = fileNameOf(path).size();
    if (longest <= 0 || length <= static_cast<std::size_t>(longest))
        return {};
    return Error::refusedName("The name of " + what + ", " + shardix::quoted(fileNameOf(path)) +
                              ", would be " + std::to_string(length) +
                              " bytes long; the file system takes at most " +
                              std::to_string(longest) + ".  Please choose a shorter base name.");
}

bool isPieceOf(const std::string& name, const std::string& baseName, int digits) {
    if (name.size() <= baseName.size() || name.compare(0, baseName.size(), baseName) != 0)
        return false;
    const std::string number = name.substr(baseName.size());
    if (number.size() > static_cast<std::size_t>(kMaxDigits) ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::int64_t value = std::stoll(number);
    return value >= 1 && pieceName(baseName, value, digits) == name;
}

Result<> refusedCompanions(const std::string& basePath, const std::string& wholeName,
                           const SegmentOptions& options) {
    if (options.writeManifest) {
        if (Result<> refused =
                refusedCompanion(manifestPathFor(basePath), "the manifest", wholeName);
            !refused.ok())
            return refused;
    }
    if (options.writeJoinScript) {
        if (Result<> refused =
                refusedCompanion(joinScriptPathFor(basePath), "the join script", wholeName);
            !refused.ok())
            return refused;
    }
    if ((options.writeManifest || options.writeJoinScript) &&
        isPieceOf(wholeName, fileNameOf(basePath), options.digits))
        return Error::refusedName("The whole file would have the name of a piece, " +
                                  shardix::quoted(wholeName) +
                                  "; please choose another base name.");
    return {};
}

OldCompanions oldCompanionsOf(const std::string& basePath, const SegmentOptions& options) {
    return {options.handleOldManifest && isThere(manifestPathFor(basePath)),
            options.handleOldJoinScript && isThere(joinScriptPathFor(basePath))};
}

Result<> settleCompanions(const std::string& basePath, const std::string& wholeName,
                          const SegmentOptions& options, const OldCompanions& old,
                          const Result<>& run, SegmentReport& report) {
    const Result<> manifest =
        settleManifest(basePath, wholeName, options, old.manifest, run, report);
    return settleJoinScript(basePath, wholeName, options, old.joinScript, manifest, report);
}

} // namespace shardix
