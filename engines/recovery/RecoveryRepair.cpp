#include "engines/recovery/RecoveryRepair.h"

#include "engines/recovery/BlockRebuilder.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/RepairSession.h"
#include "errors/Quoted.h"

#include <algorithm>
#include <cerrno>

namespace shardix {

using namespace par2;

namespace par2 {

namespace {

// The files whose recovery blocks are left out in turn, at most, when a
// repair rebuilt wrong data: each try is a whole repair again.
constexpr std::size_t kSuspectsTried = 8;

} // namespace

// Rebuilds the damaged files under temporary names, reads them back against
// their MD5s, and only then renames anything: the damaged files aside, the
// rebuilt ones into place. A file that cannot be written is told in its
// report; the others are still rebuilt.
Result<> RepairSession::repair(RecoveryReport& report) {
    const std::vector<std::size_t> damaged = damagedFiles();
    if (damaged.empty())
        return {};
    if (Result<> enough = refuseWhenTooFew(report); !enough.ok())
        return enough;
    Result<std::vector<TempFile>> temps = createTemps(damaged);
    if (!temps.ok())
        return temps.error();
    std::vector<TempFile> made = std::move(temps).value();
    if (Result<> rebuilt = rebuildChecked(made, damaged, report); !rebuilt.ok())
        return rebuilt;
    putInPlace(made, damaged, report);
    report.missingBlocks = 0;
    for (std::size_t f : damaged)
        if (!report.files[f].rebuilt)
            report.missingBlocks += report.files[f].blocks - report.files[f].goodBlocks;
    return {};
}

// Rebuilds the files; when what it rebuilt does not match its checksums,
// again without the recovery blocks of one file at a time (another copy of
// a block in its place where there is one), to find the file whose recovery
// blocks hold wrong data, which is then named.
Result<> RepairSession::rebuildChecked(std::vector<TempFile>& temps,
                                       const std::vector<std::size_t>& damaged,
                                       RecoveryReport& report) {
    Result<std::optional<Error>> wrong = rebuildOnce(temps, damaged);
    if (!wrong.ok())
        return wrong.error();
    if (!*wrong)
        return {};
    const std::vector<RecoveryBlockAt> all = opened_.set.recovery;
    std::vector<std::size_t> suspects;
    for (const RecoveryBlockAt& at : all)
        if (std::find(suspects.begin(), suspects.end(), at.source) == suspects.end())
            suspects.push_back(at.source);
    std::sort(suspects.begin(), suspects.end());
    for (std::size_t i = 0; i < suspects.size() && i < kSuspectsTried; ++i) {
        if (!leaveOutSource(suspects[i], all, report.missingBlocks))
            continue;
        Result<std::optional<Error>> again = rebuildOnce(temps, damaged);
        if (!again.ok() && again.error().kind != ErrorKind::Refused)
            return again.error();
        if (again.ok() && !*again) {
            report.notes.push_back(
                shardix::quoted(opened_.folder.display(opened_.sourceNames[suspects[i]])) +
                " holds recovery blocks whose data is wrong (though their packets' checksums "
                "fit): they were left out.");
            return {};
        }
    }
    return **wrong;
}

Result<std::optional<Error>> RepairSession::rebuildOnce(std::vector<TempFile>& temps,
                                                        const std::vector<std::size_t>& damaged) {
    Result<> rebuilt = BlockRebuilder(opened_, checks_, *kernel_, *pool_, progress_, control_)
                           .rebuild(temps, damaged);
    if (!rebuilt.ok())
        return rebuilt.error();
    return checkRebuilt(temps, damaged);
}

// The set's recovery blocks without those of source `s`, other copies in
// their place; false, changing nothing, when too few would be left.
bool RepairSession::leaveOutSource(std::size_t s, const std::vector<RecoveryBlockAt>& all,
                                   std::uint32_t needed) {
    std::vector<RecoveryBlockAt> kept;
    for (const RecoveryBlockAt& at : all) {
        if (at.source != s) {
            kept.push_back(at);
            continue;
        }
        const auto& copies = opened_.set.otherCopies;
        const auto copy = std::find_if(copies.begin(), copies.end(), [&](const RecoveryBlockAt& c) {
            return c.exponent == at.exponent && c.source != s;
        });
        if (copy != copies.end())
            kept.push_back(*copy);
    }
    if (kept.size() < needed)
        return false;
    opened_.set.recovery = std::move(kept);
    return true;
}

std::vector<std::size_t> RepairSession::damagedFiles() const {
    std::vector<std::size_t> damaged;
    for (std::size_t f = 0; f < checks_.size(); ++f) {
        if (checks_[f].state != RecoveryFileState::Ok)
            damaged.push_back(f);
    }
    return damaged;
}

Result<> RepairSession::refuseWhenTooFew(const RecoveryReport& report) const {
    if (report.repairable())
        return {};
    if (!report.unsolvable.empty())
        return Error::of(ErrorKind::Refused,
                         counted(report.missingBlocks, "block") + " are missing, and " +
                             report.unsolvable + ". Nothing was changed.",
                         opened_.shownIndex());
    const std::uint32_t lacking = report.missingBlocks - report.recoveryBlocks;
    return Error::of(
        ErrorKind::Refused,
        counted(report.missingBlocks, "block") + (report.missingBlocks == 1 ? " is" : " are") +
            " missing and only " + counted(report.recoveryBlocks, "recovery block") +
            (report.recoveryBlocks == 1 ? " is" : " are") + " at hand: " + std::to_string(lacking) +
            " more " + (lacking == 1 ? "is" : "are") + " needed. Nothing was changed.",
        opened_.shownIndex());
}

// A temporary file of its whole length beside each damaged file, by file;
// one that cannot be made keeps its failure, and the others are made.
Result<std::vector<TempFile>>
RepairSession::createTemps(const std::vector<std::size_t>& damaged) const {
    std::vector<TempFile> temps(opened_.set.files.size());
    for (std::size_t f : damaged) {
        const SetFile& file = opened_.set.files[f];
        Result<TempFile> made = TempFile::create(opened_.folder, file.description.name);
        if (!made.ok()) {
            temps[f] = TempFile::failed(made.error());
            continue;
        }
        temps[f] = std::move(made).value();
        temps[f].keepFailures();
        if (Result<> sized = temps[f].resize(file.description.length); !sized.ok())
            return sized.error();
    }
    return temps;
}

// Each rebuilt file read back against its MD5, on the pool's threads: the
// first that does not match in the index's order. Files that could not be
// written are not read.
Result<std::optional<Error>> RepairSession::checkRebuilt(const std::vector<TempFile>& temps,
                                                         const std::vector<std::size_t>& damaged) {
    std::vector<std::optional<Error>> wrong(opened_.set.files.size());
    auto job = pool_->submit(
        {WorkerPool::Stage{damaged.size(), [&](std::size_t i, unsigned) -> Result<> {
                               const std::size_t f = damaged[i];
                               if (!temps[f].failure())
                                   wrong[f] = rebuiltMismatch(opened_.set.files[f], temps[f]);
                               return {};
                           }}});
    if (Result<> read = progress_.wait(*pool_, job); !read.ok())
        return read.error();
    for (std::size_t f : damaged) {
        if (wrong[f])
            return wrong[f];
    }
    return std::optional<Error>();
}

std::optional<Error> RepairSession::rebuiltMismatch(const SetFile& file, const TempFile& temp) {
    std::vector<char> buffer(kRepairReadChunk);
    Md5 md5;
    for (std::uint64_t at = 0; at < file.description.length;) {
        const std::size_t part = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), file.description.length - at));
        const Result<std::size_t> got =
            readAt(temp.file(), static_cast<std::int64_t>(at), buffer.data(), part);
        if (!got.ok())
            return got.error();
        if (*got != part)
            return Error::fromErrno(EIO, "read", opened_.folder.display(temp.tempName()));
        md5.update(buffer.data(), part);
        at += part;
        progress_.add(static_cast<std::int64_t>(part));
    }
    if (md5.finish() == file.description.hash)
        return std::nullopt;
    return Error::of(ErrorKind::Mismatch,
                     "The rebuilt " +
                         shardix::quoted(opened_.folder.display(file.description.name)) +
                         " does not match its MD5 checksum: a recovery file holds wrong data "
                         "(though its packets' checksums fit), or a file changed during the "
                         "repair. Nothing was changed.");
}

// Each rebuilt file put in place; one that cannot be is told in its
// report, with why, and the others still are.
void RepairSession::putInPlace(std::vector<TempFile>& temps,
                               const std::vector<std::size_t>& damaged, RecoveryReport& report) {
    for (std::size_t f : damaged) {
        RecoveryFileReport& entry = report.files[f];
        if (temps[f].failure()) {
            entry.failure = temps[f].failure()->message;
            temps[f].discard();
            continue;
        }
        // Even a shortage of memory leaves the other files to be put in place.
        Result<> put = guarded([&] { return putFileInPlace(f, temps[f], entry); });
        if (!put.ok())
            entry.failure = put.error().message;
    }
}

// The damaged file, if there is one, renamed aside; the rebuilt one in its place.
Result<> RepairSession::putFileInPlace(std::size_t f, TempFile& temp,
                                       RecoveryFileReport& entry) const {
    const std::string& name = opened_.set.files[f].description.name;
    if (checks_[f].present) {
        const std::string aside = asideName(name);
        if (Result<> moved = opened_.folder.rename(name, aside, false); !moved.ok())
            return retold(moved.error(), "rename aside", opened_.folder.display(name));
        entry.setAside = aside;
    }
    if (Result<> committed = temp.commit(false); !committed.ok())
        return committed;
    entry.rebuilt = true;
    return {};
}

// NAME.1, or the first NAME.N that is free and that the set does not list;
// NAME cut short when the whole would be longer than its folder allows.
std::string RepairSession::asideName(const std::string& name) const {
    // Where the folder of the name cannot be entered, the renaming fails anyway.
    const Result<Folder::Place> place = opened_.folder.placeOf(name);
    const std::size_t limit = nameLimit(place.ok() ? place->fd : opened_.folder.fd());
    const std::string leaf = place.ok() ? place->leaf : std::string();
    const std::string dir = name.substr(0, name.size() - leaf.size());
    for (int k = 1;; ++k) {
        const std::string aside = dir + nameWithEnding(leaf, "." + std::to_string(k), limit);
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
        Result<RecoveryReport> verified = session.verify(indexPath);
        if (!verified.ok())
            return verified;
        RecoveryReport report = std::move(verified).value();
        if (control.verified)
            control.verified(report);
        if (Result<> repaired = session.repair(report); !repaired.ok())
            return repaired.error();
        return report;
    });
}

} // namespace shardix
