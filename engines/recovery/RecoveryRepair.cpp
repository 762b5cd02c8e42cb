#include "engines/recovery/RecoveryRepair.h"

#include "engines/recovery/BlockRebuilder.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/RepairSession.h"
#include "errors/Quoted.h"

#include <cerrno>

namespace shardix {

using namespace par2;

namespace par2 {

// Rebuilds the damaged files under temporary names, reads them back against
// their MD5s, and only then renames anything: the damaged files aside, the
// rebuilt ones into place.
void RepairSession::repair(RecoveryReport& report) {
    const std::vector<std::size_t> damaged = damagedFiles();
    if (damaged.empty())
        return;
    refuseWhenTooFew(report);
    std::vector<TempFile> temps = createTemps(damaged);
    BlockRebuilder(opened_, checks_, *kernel_, *pool_, progress_, control_).rebuild(temps, damaged);
    checkRebuilt(temps, damaged);
    putInPlace(temps, damaged, report);
    report.missingBlocks = 0;
}

std::vector<std::size_t> RepairSession::damagedFiles() const {
    std::vector<std::size_t> damaged;
    for (std::size_t f = 0; f < checks_.size(); ++f) {
        if (checks_[f].state != RecoveryFileState::Ok)
            damaged.push_back(f);
    }
    return damaged;
}

void RepairSession::refuseWhenTooFew(const RecoveryReport& report) const {
    if (report.repairable())
        return;
    const std::uint32_t lacking = report.missingBlocks - report.recoveryBlocks;
    fail(Error::of(ErrorKind::Refused,
                   std::to_string(report.missingBlocks) + " blocks are missing and only " +
                       std::to_string(report.recoveryBlocks) +
                       " recovery blocks are at hand: " + std::to_string(lacking) + " more " +
                       (lacking == 1 ? "is" : "are") + " needed. Nothing was changed.",
                   opened_.shownIndex()));
}

// A temporary file of its whole length beside each damaged file, by file.
std::vector<TempFile> RepairSession::createTemps(const std::vector<std::size_t>& damaged) const {
    std::vector<TempFile> temps(opened_.set.files.size());
    for (std::size_t f : damaged) {
        const SetFile& file = opened_.set.files[f];
        temps[f] = TempFile::create(opened_.folder, file.description.name);
        temps[f].resize(file.description.length);
    }
    return temps;
}

// Each rebuilt file read back against its MD5, on the pool's threads; the
// first failure in the index's order is the one told.
void RepairSession::checkRebuilt(const std::vector<TempFile>& temps,
                                 const std::vector<std::size_t>& damaged) {
    std::vector<std::optional<Error>> wrong(opened_.set.files.size());
    auto job = pool_->submit({WorkerPool::Stage{damaged.size(), [&](std::size_t i, unsigned) {
                                                    const std::size_t f = damaged[i];
                                                    wrong[f] = rebuiltMismatch(opened_.set.files[f],
                                                                               temps[f]);
                                                }}});
    progress_.wait(*pool_, job);
    for (std::size_t f : damaged) {
        if (wrong[f])
            fail(*wrong[f]);
    }
}

std::optional<Error> RepairSession::rebuiltMismatch(const SetFile& file, const TempFile& temp) {
    std::vector<char> buffer(kRepairReadChunk);
    Md5 md5;
    for (std::uint64_t at = 0; at < file.description.length;) {
        const std::size_t part = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), file.description.length - at));
        if (readAt(temp.fd(), static_cast<std::int64_t>(at), buffer.data(), part) !=
            static_cast<std::int64_t>(part))
            return systemError(errno ? errno : EIO, "read",
                               opened_.folder.display(temp.tempName()));
        md5.update(buffer.data(), part);
        at += part;
        progress_.add(static_cast<std::int64_t>(part));
    }
    if (md5.finish() == file.description.hash)
        return std::nullopt;
    return Error::of(ErrorKind::Mismatch,
                     "The rebuilt " +
                         shardix::quoted(opened_.folder.display(file.description.name)) +
                         " does not match its MD5 checksum (a file changed while it was "
                         "repaired?). Nothing was changed.");
}

void RepairSession::putInPlace(std::vector<TempFile>& temps,
                               const std::vector<std::size_t>& damaged, RecoveryReport& report) {
    std::size_t done = 0;
    for (std::size_t f : damaged) {
        Result<> put = guarded([&]() -> Result<> {
            putFileInPlace(f, temps[f], report.files[f]);
            return {};
        });
        if (!put.ok()) {
            Error error = put.error();
            if (done > 0)
                error.message += " " + std::to_string(done) + " of the " +
                                 std::to_string(damaged.size()) + " files were rebuilt before it.";
            fail(std::move(error));
        }
        ++done;
    }
}

// The damaged file, if there is one, renamed aside; the rebuilt one in its place.
void RepairSession::putFileInPlace(std::size_t f, TempFile& temp, RecoveryFileReport& entry) const {
    const std::string& name = opened_.set.files[f].description.name;
    if (checks_[f].present) {
        entry.setAside = asideName(name);
        if (const int error = opened_.folder.rename(name, entry.setAside, false))
            fail(systemError(error, "rename aside", opened_.folder.display(name)));
    }
    temp.commit(false);
    entry.rebuilt = true;
}

// NAME.1, or the first NAME.N that is free and that the set does not list.
std::string RepairSession::asideName(const std::string& name) const {
    for (int k = 1;; ++k) {
        const std::string aside = name + "." + std::to_string(k);
        bool taken = opened_.folder.exists(aside);
        for (const SetFile& file : opened_.set.files)
            taken = taken || file.description.name == aside;
        if (!taken)
            return aside;
    }
}

} // namespace par2

Result<RecoveryReport> repairRecovery(const std::string& indexPath,
                                      const RecoveryControl& control) {
    return guarded([&]() -> Result<RecoveryReport> {
        RepairSession session(control);
        RecoveryReport report = session.verify(indexPath);
        if (control.verified)
            control.verified(report);
        session.repair(report);
        return report;
    });
}

} // namespace shardix
