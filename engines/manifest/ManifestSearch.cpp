#include "engines/manifest/ManifestSearch.h"

#include "engines/io/FileIdentity.h"
#include "engines/manifest/ChecksumFile.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/Verifier.h"
#include "errors/Error.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace shardix {

namespace {

std::string folderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('/') + 1);
}

// The checksum lists of `folder` ("" for the current one), ours and those of
// other tools (isChecksumListName), by name.
std::vector<std::string> manifestsIn(const std::string& folder) {
    std::vector<std::string> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()),
                                                  ::closedir);
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (isChecksumListName(entry->d_name))
            found.push_back(folder + entry->d_name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whether `manifest`, read from `path`, lists one of `inputs` as a piece.
bool listsOneOf(const Manifest& manifest, const std::string& path,
                const std::vector<FileIdentity>& inputs) {
    const std::string folder = Manifest::folderOf(path);
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.whole || leadsOutside(entry.name))
            continue;
        const Result<FileIdentity> listed = identityOf(folder + entry.name);
        if (listed.ok() && std::find(inputs.begin(), inputs.end(), *listed) != inputs.end())
            return true;
    }
    return false;
}

} // namespace

namespace {

// The files given and the folders they lie in, each folder once.
struct Inputs {
    std::vector<FileIdentity> files;
    std::vector<std::string> folders; // as the first input in each spells it
};

Inputs inputsOf(const std::vector<std::string>& paths) {
    Inputs inputs;
    std::vector<FileIdentity> seen;
    for (const std::string& path : paths) {
        if (const Result<FileIdentity> id = identityOf(path); id.ok())
            inputs.files.push_back(*id);
        const Result<FileIdentity> folder = folderIdentityOf(path);
        if (folder.ok() && std::find(seen.begin(), seen.end(), *folder) == seen.end()) {
            seen.push_back(*folder);
            inputs.folders.push_back(folderOf(path));
        }
    }
    return inputs;
}

// The manifest chosen so far among those beside the inputs.
class Choice {
  public:
    // Takes up `candidate` when it lists one of `inputs`; refuses a second
    // manifest that lists other checksums, and one that cannot be read.
    Result<> consider(const std::string& candidate, const Inputs& inputs) {
        const Result<FileIdentity> found = identityOf(candidate);
        const std::optional<FileIdentity> id =
            found.ok() ? std::optional<FileIdentity>(*found) : std::nullopt;
        if (!isRegularFile(candidate) || (chosenId_ && id == chosenId_))
            return {}; // the chosen one again, by another name
        Result<Manifest> read = Manifest::read(candidate);
        if (!read.ok())
            return Error::of(ErrorKind::Refused, "The list of checksums " +
                                                     shardix::quoted(candidate) +
                                                     " beside the files cannot be read (" +
                                                     read.error().causeOrMessage() +
                                                     "), so they cannot be checked against it.");
        Manifest manifest = std::move(read).value();
        if (!listsOneOf(manifest, candidate, inputs.files) || agrees(manifest, candidate))
            return {};
        if (chosenId_ && !sameAlgorithms(manifest)) {
            // Lists by other tools' algorithms cannot be told to disagree: our
            // own is taken, or else the first.
            if (manifest.format == ChecksumFormat::Ours && chosen_.format != ChecksumFormat::Ours)
                take(candidate, id, std::move(manifest));
            return {};
        }
        if (chosenId_)
            return Error::of(ErrorKind::Refused,
                             "Both " + shardix::quoted(path_) + " and " +
                                 shardix::quoted(candidate) +
                                 " list files among those given; please name the one to check "
                                 "them against.");
        take(candidate, id, std::move(manifest));
        return {};
    }

    const std::string& path() const { return path_; }

  private:
    void take(const std::string& candidate, std::optional<FileIdentity> id, Manifest manifest) {
        path_ = candidate;
        chosenId_ = id;
        chosen_ = std::move(manifest);
    }

    // Whether `manifest` has checksums of an algorithm that the chosen one has.
    bool sameAlgorithms(const Manifest& manifest) const {
        return std::any_of(manifest.entries.begin(), manifest.entries.end(), [&](const auto& e) {
            return std::any_of(chosen_.entries.begin(), chosen_.entries.end(),
                               [&](const auto& c) { return c.algorithm == e.algorithm; });
        });
    }

    // A copy beside the chosen one that lists the same files with the same
    // checksums agrees with it.
    bool agrees(const Manifest& manifest, const std::string& candidate) const {
        return chosenId_ && manifest.entries == chosen_.entries &&
               Manifest::folderOf(candidate) == Manifest::folderOf(path_);
    }

    std::string path_;
    std::optional<FileIdentity> chosenId_;
    Manifest chosen_;
};

} // namespace

Result<std::string> findManifest(const std::vector<std::string>& paths) {
    const Inputs inputs = inputsOf(paths);
    Choice choice;
    for (const std::string& folder : inputs.folders) {
        for (const std::string& candidate : manifestsIn(folder)) {
            if (Result<> refused = choice.consider(candidate, inputs); !refused.ok())
                return refused.error();
        }
    }
    return choice.path();
}

} // namespace shardix
