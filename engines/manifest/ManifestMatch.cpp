#include "engines/manifest/ManifestMatch.h"

#include "engines/io/FileIdentity.h"
#include "engines/io/FileIo.h"
#include "engines/io/Messages.h"
#include "errors/Error.h"

#include <optional>
#include <sys/stat.h>

namespace shardix {

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    std::int64_t length;
    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode;
    }
};

std::optional<Identity> measuredIdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino, st.st_size};
}

Error refusal(const std::string& message) {
    return Error::of(ErrorKind::Refused, message);
}

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

} // namespace

Result<> matchSegments(const Manifest& manifest, const std::string& manifestPath,
                       const std::vector<std::string>& inputs, Checksums& expected) {
    const std::string listedIn = " in " + quoted(manifestPath);
    if (Result<> complete = manifest.checkComplete(manifestPath); !complete.ok())
        return complete;
    if (!manifest.problems.empty())
        return refusal(quoted(manifestPath) + ", " + manifest.problems.front() +
                       " (not a line that sha256sum -c reads).");
    const std::string folder = Manifest::folderOf(manifestPath);
    std::vector<const ManifestEntry*> segments;
    const ManifestEntry* whole = nullptr;
    for (const ManifestEntry& entry : manifest.entries) {
        if (!entry.whole)
            segments.push_back(&entry);
        else if (!whole)
            whole = &entry;
    }
    if (segments.empty())
        return refusal(quoted(manifestPath) + " lists no segments.");
    const auto pathOf = [&](const ManifestEntry* entry) { return folder + entry->name; };
    const std::string of = " of the " + std::to_string(segments.size()) + " segments listed";

    std::vector<std::optional<Identity>> listed;
    for (const ManifestEntry* segment : segments)
        listed.push_back(measuredIdentityOf(pathOf(segment)));
    const std::optional<Identity> wholeFile =
        whole ? measuredIdentityOf(pathOf(whole)) : std::optional<Identity>();

    // Two listed names that lead to one file (a link in place of a segment)
    // cannot both hold their own segment.
    for (std::size_t k = 1; k < listed.size(); ++k) {
        for (std::size_t j = 0; j < k; ++j) {
            if (!listed[j] || !listed[k] || !(*listed[j] == *listed[k]))
                continue;
            if (segments[j]->name == segments[k]->name)
                return refusal(quoted(pathOf(segments[k])) + " is listed twice" + listedIn +
                               ", as segments " + std::to_string(j + 1) + " and " +
                               std::to_string(k + 1) + of + ".");
            return refusal(quoted(pathOf(segments[j])) + " and " + quoted(pathOf(segments[k])) +
                           ", segments " + std::to_string(j + 1) + " and " + std::to_string(k + 1) +
                           of + listedIn +
                           ", are one and the same file: one is a link to the "
                           "other.");
        }
    }

    // Which segment each input is.
    std::vector<std::size_t> place(inputs.size());
    std::vector<bool> given(segments.size(), false);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::optional<Identity> input = measuredIdentityOf(inputs[i]);
        if (!input)
            return Error::of(ErrorKind::FileNotFound, msg::kNoSuchFile, inputs[i]);
        std::size_t k = 0;
        while (k < listed.size() && !(listed[k] && *listed[k] == *input))
            ++k;
        if (k == listed.size()) {
            if (wholeFile && *wholeFile == *input)
                return refusal(quoted(inputs[i]) + " is the whole file" + listedIn +
                               ", not one of its segments.");
            return refusal(quoted(inputs[i]) + " is not one of the segments listed" + listedIn +
                           ".");
        }
        if (given[k])
            return refusal(quoted(inputs[i]) + " is given more than once.");
        given[k] = true;
        place[i] = k;
    }
    for (std::size_t k = 0; k < segments.size(); ++k) {
        if (given[k])
            continue;
        const std::string which =
            quoted(pathOf(segments[k])) + ", segment " + std::to_string(k + 1) + of + listedIn;
        if (!listed[k])
            return refusal(which + ", is missing.");
        return refusal(which + ", is not among the files given.");
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (place[i] != i)
            return refusal(quoted(inputs[i]) + " is out of order: it is segment " +
                           std::to_string(place[i] + 1) + of + listedIn + ", and " +
                           quoted(pathOf(segments[i])) + " is segment " + std::to_string(i + 1) +
                           ".");
    }
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const auto& length = segments[k]->length;
        if (length && listed[k]->length != *length)
            return refusal(quoted(inputs[k]) + " is " + std::to_string(listed[k]->length) +
                           " bytes long, but segment " + std::to_string(k + 1) + listedIn +
                           " has " + std::to_string(*length) + " bytes.");
    }

    expected = Checksums{};
    expected.source = manifestPath;
    for (const ManifestEntry* segment : segments)
        expected.parts.push_back(segment->digest);
    if (whole)
        expected.whole = whole->digest;
    return {};
}

bool listsAsSegment(const Manifest& manifest, const std::string& manifestPath,
                    const std::string& path) {
    const std::string folder = Manifest::folderOf(manifestPath);
    const auto target = identityOf(path);
    const auto targetFolder = folderIdentityOf(path);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.whole)
            continue;
        const std::string listed = folder + entry.name;
        if (target ? target == identityOf(listed)
                   : entry.name.find('/') == std::string::npos && entry.name == name &&
                         targetFolder && targetFolder == folderIdentityOf(listed))
            return true;
    }
    return false;
}

Result<> expectedForJoin(const std::string& manifestPath, const std::vector<std::string>& inputs,
                         const std::string& target, Checksums& expected) {
    try {
        const Manifest manifest = Manifest::read(manifestPath);
        if (Result<> refused = matchSegments(manifest, manifestPath, inputs, expected);
            !refused.ok())
            return refused;
        if (sameFile(target, manifestPath))
            return Error::refusedName(quoted(target) +
                                      " is the manifest that the pieces are checked against; "
                                      "please choose another name for the output.");
        if (listsAsSegment(manifest, manifestPath, target))
            return Error::refusedName(quoted(target) + " is one of the pieces that " +
                                      quoted(manifestPath) +
                                      " lists; please choose another name for the output.");
        return {};
    } catch (const Failed& e) {
        return e.error();
    }
}

} // namespace shardix
