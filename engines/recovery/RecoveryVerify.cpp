#include "engines/checksums/Md5Lanes.h"
#include "engines/recovery/BlockRebuilder.h"
#include "engines/recovery/RepairSession.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <numeric>

namespace shardix {

using namespace par2;

namespace par2 {

Result<RecoveryReport> RepairSession::verify(const std::string& indexPath) {
    RecoveryReport report;
    if (Result<> opened = open(indexPath, report); !opened.ok())
        return opened.error();
    if (Result<> checked = checkFiles(); !checked.ok())
        return checked.error();
    const bool incomplete = std::any_of(checks_.begin(), checks_.end(), [](const FileCheck& check) {
        return check.goodCount < check.good.size();
    });
    if (incomplete) {
        Result<> searched =
            searchBlocks(opened_, checks_, control_.searchFiles, progress_, control_, report.notes);
        if (!searched.ok())
            return searched.error();
    } else if (!control_.searchFiles.empty())
        report.notes.push_back("Every block of the set is in place: the files named beside " +
                               shardix::quoted(opened_.shownIndex()) + " were not searched.");
    describe(report);
    return report;
}

// The index, its volumes and their set; the threads and the kernel that
// work on them.
Result<> RepairSession::open(const std::string& indexPath, RecoveryReport& report) {
    Result<FileInFolder> index = Folder::open(indexPath);
    if (!index.ok())
        return index.error();
    FileInFolder opened = std::move(index).value();
    opened_.folder = std::move(opened.folder);
    opened_.indexName = std::move(opened.name);
    kernel_ = makeGfKernel(control_.kernel);
    if (!kernel_)
        return Error::of(ErrorKind::Refused, "This processor cannot run the kernel " +
                                                 shardix::quoted(control_.kernel) + ".");
    pool_ = std::make_unique<WorkerPool>(control_.threads);
    if (Result<> loaded = loadSet(opened_, *pool_, progress_, control_, report.notes); !loaded.ok())
        return loaded;
    const RecoverySet& set = opened_.set;
    for (std::size_t s : set.used)
        if (s != 0)
            report.volumes.push_back(opened_.sourceNames[s]);
    report.notes.insert(report.notes.end(), set.notes.begin(), set.notes.end());
    report.creator = set.creator;
    report.blockSize = set.blockSize;
    report.dataBlocks = set.dataBlocks;
    report.recoveryBlocks = static_cast<std::uint32_t>(set.recovery.size());
    return {};
}

// Every file of the set, on the pool's threads.
Result<> RepairSession::checkFiles() {
    const std::vector<SetFile>& files = opened_.set.files;
    for (const SetFile& file : files)
        progress_.addTotal(static_cast<std::int64_t>(file.description.length));
    // The longest files first, so that the threads finish together.
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return files[a].description.length > files[b].description.length;
    });
    checks_.resize(files.size());
    // The whole files' MD5s side by side first, where the processor can: a
    // file whose MD5 is right is then only opened again.
    std::vector<char> whole(files.size(), 0);
    if (canHashLanes() && files.size() > 1) {
        Result<std::vector<char>> matched = wholeFilesInLanes(opened_, *pool_, progress_, control_);
        if (!matched.ok())
            return matched.error();
        whole = std::move(matched).value();
    }
    auto job = pool_->submit({WorkerPool::Stage{
        order.size(), [&](std::size_t i, unsigned) -> Result<> {
            if (control_.stopRequested())
                return {};
            const std::size_t f = order[i];
            std::vector<char> buffer(whole[f] ? 0 : kRepairReadChunk);
            checks_[f] = checkFile(opened_, files[f], buffer, progress_, control_, whole[f] != 0);
            return {};
        }}});
    if (Result<> checked = progress_.wait(*pool_, job); !checked.ok())
        return checked;
    if (control_.stopRequested())
        return stoppedRepair();
    return {};
}

void RepairSession::describe(RecoveryReport& report) const {
    const std::vector<SetFile>& files = opened_.set.files;
    for (std::size_t f = 0; f < files.size(); ++f) {
        const SetFile& file = files[f];
        const FileCheck& check = checks_[f];
        RecoveryFileReport entry;
        entry.name = file.description.name;
        entry.length = static_cast<std::int64_t>(file.description.length);
        entry.state = check.state;
        entry.blocks = static_cast<std::uint32_t>(file.checks.size());
        entry.goodBlocks = check.goodCount;
        entry.detail = check.detail;
        if (check.state != RecoveryFileState::Ok)
            report.missingBlocks += entry.blocks - entry.goodBlocks;
        report.files.push_back(std::move(entry));
    }
    report.unsolvable =
        unsolvableWhy(recoveryExponents(opened_.set), report.missingBlocks, control_.memory);
}

} // namespace par2

bool RecoveryReport::complete() const {
    return std::all_of(files.begin(), files.end(), [](const RecoveryFileReport& file) {
        return file.state == RecoveryFileState::Ok || file.rebuilt;
    });
}

Result<RecoveryReport> verifyRecovery(const std::string& indexPath,
                                      const RecoveryControl& control) {
    return guarded([&] { return RepairSession(control).verify(indexPath); });
}

} // namespace shardix
