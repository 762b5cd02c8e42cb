#include "engines/recovery/RepairSession.h"

#include "engines/recovery/PacketScanner.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace shardix::par2 {

namespace {

bool endsWithPar2(const std::string& name) {
    if (name.size() < 5)
        return false;
    std::string end = name.substr(name.size() - 5);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".par2";
}

// True when `name` is a volume of the index `indexName` whose base is `base`:
// "BASE.*.par2", the index itself left out.
bool isVolumeName(const std::string& name, const std::string& base, const std::string& indexName) {
    return name != indexName && name.size() > base.size() + 6 &&
           name.compare(0, base.size() + 1, base + ".") == 0 && endsWithPar2(name);
}

void openIndex(OpenedSet& opened) {
    // The index the user named may be a link; the files it lists may not.
    Fd index;
    if (const int error = opened.folder.openForReading(opened.indexName, index, true))
        fail(openError(error, opened.shownIndex()));
    opened.sourceNames.push_back(opened.indexName);
    opened.sourceFds.push_back(std::move(index));
}

// The volumes: the regular files BASE.*.par2 beside the index, by name.
void openVolumes(OpenedSet& opened, std::vector<std::string>& notes) {
    const Folder& folder = opened.folder;
    std::string base = opened.indexName;
    if (endsWithPar2(base))
        base.resize(base.size() - 5);
    std::vector<std::string> names;
    if (const int error = folder.list(names))
        notes.push_back(systemError(error, "list", folder.shownPath()).message +
                        " Only the index is used.");
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat info {};
        if (!isVolumeName(name, base, opened.indexName) || folder.status(name, info) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        Fd fd;
        if (const int error = folder.openForReading(name, fd)) {
            notes.push_back(openError(error, folder.display(name)).message);
            continue;
        }
        opened.sourceNames.push_back(name);
        opened.sourceFds.push_back(std::move(fd));
    }
}

// Every packet of every file, on the pool's threads.
std::vector<ScannedSource> scanSources(const OpenedSet& opened, WorkerPool& pool,
                                       ProgressMeter& progress, const RecoveryControl& control) {
    const std::size_t count = opened.sourceNames.size();
    std::vector<ScannedSource> sources(count);
    std::vector<std::int64_t> sizes(count);
    for (std::size_t i = 0; i < count; ++i) {
        sources[i].name = opened.sourceNames[i];
        sources[i].shown = opened.folder.display(opened.sourceNames[i]);
        struct stat info {};
        sizes[i] = ::fstat(opened.sourceFds[i].get(), &info) == 0 ? info.st_size : 0;
        progress.addTotal(sizes[i]);
    }
    auto job =
        pool.submit({WorkerPool::Stage{count, [&](std::size_t i, unsigned) {
                                           if (control.stopRequested())
                                               return;
                                           FileSource source(opened.sourceFds[i].get(), sizes[i]);
                                           sources[i].scan =
                                               scanPackets(source, [&progress](std::int64_t bytes) {
                                                   progress.add(bytes);
                                               });
                                       }}});
    progress.wait(pool, job);
    return sources;
}

} // namespace

Error stoppedRepair() {
    return Error::of(ErrorKind::Stopped, "Stopped: nothing was changed.");
}

void loadSet(OpenedSet& opened, WorkerPool& pool, ProgressMeter& progress,
             const RecoveryControl& control, std::vector<std::string>& notes) {
    openIndex(opened);
    openVolumes(opened, notes);
    const std::vector<ScannedSource> sources = scanSources(opened, pool, progress, control);
    if (control.stopRequested())
        fail(stoppedRepair());
    Result<RecoverySet> assembled = assembleSet(sources);
    if (!assembled.ok())
        fail(assembled.error());
    opened.set = std::move(assembled).value();
}

} // namespace shardix::par2
