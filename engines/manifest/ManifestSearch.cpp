#include "engines/manifest/ManifestSearch.h"

#include "engines/io/FileIdentity.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/Verifier.h"
#include "engines/names/PiecePolicy.h"
#include "errors/Error.h"

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

// The ".sha256" files of `folder` ("" for the current one), by name.
std::vector<std::string> manifestsIn(const std::string& folder) {
    std::vector<std::string> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()),
                                                  ::closedir);
    if (!dir)
        return found;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (isManifestName(entry->d_name))
            found.push_back(folder + entry->d_name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whether `manifest`, read from `path`, lists one of `inputs` as a segment.
bool listsOneOf(const Manifest& manifest, const std::string& path,
                const std::vector<FileIdentity>& inputs) {
    const std::string folder = Manifest::folderOf(path);
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.whole || leadsOutside(entry.name))
            continue;
        const auto listed = identityOf(folder + entry.name);
        if (listed && std::find(inputs.begin(), inputs.end(), *listed) != inputs.end())
            return true;
    }
    return false;
}

} // namespace

ManifestSearch findManifest(const std::vector<std::string>& inputs) {
    std::vector<FileIdentity> wanted;
    std::vector<FileIdentity> folders;
    std::vector<std::string> folderNames;
    for (const std::string& input : inputs) {
        if (const auto id = identityOf(input))
            wanted.push_back(*id);
        const auto folder = folderIdentityOf(input);
        if (folder && std::find(folders.begin(), folders.end(), *folder) == folders.end()) {
            folders.push_back(*folder);
            folderNames.push_back(folderOf(input));
        }
    }
    ManifestSearch search;
    std::optional<FileIdentity> chosen;
    Manifest chosenManifest;
    for (const std::string& folder : folderNames) {
        for (const std::string& candidate : manifestsIn(folder)) {
            if (!isRegularFile(candidate))
                continue;
            const auto id = identityOf(candidate);
            if (chosen && id == chosen)
                continue; // the chosen one again, by another name
            Manifest manifest;
            try {
                manifest = Manifest::read(candidate);
                if (!listsOneOf(manifest, candidate, wanted))
                    continue;
            } catch (const Failed& e) {
                search.refusal = "The list of checksums \"" + candidate +
                                 "\" beside the files cannot be read (" +
                                 e.error().causeOrMessage() +
                                 "), so they cannot be checked against it.";
                return search;
            }
            // A copy that lists the same files with the same checksums agrees.
            if (chosen && manifest.entries == chosenManifest.entries &&
                Manifest::folderOf(candidate) == Manifest::folderOf(search.path))
                continue;
            if (chosen) {
                search.refusal = "Both \"" + search.path + "\" and \"" + candidate +
                                 "\" list files among those given; please name the one to check "
                                 "them against.";
                return search;
            }
            search.path = candidate;
            chosen = id;
            chosenManifest = std::move(manifest);
        }
    }
    return search;
}

} // namespace shardix
