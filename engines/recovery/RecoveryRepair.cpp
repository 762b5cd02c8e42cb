#include "engines/recovery/RecoveryRepair.h"

#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/GfMatrix.h"
#include "engines/recovery/Par2Packets.h"
#include "engines/recovery/RecoveryIo.h"
#include "engines/recovery/RecoverySet.h"
#include "engines/recovery/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace shardix {

using namespace par2;

namespace {

constexpr std::size_t kReadChunk = 4 << 20;
constexpr std::size_t kBatchBytes = 32 << 20;
// Tries with other recovery blocks when the first ones chosen give equations
// that depend on each other.
constexpr int kSolveAttempts = 20;
// The most missing blocks rebuilt at once: solving for N of them takes about
// 6 N^2 bytes, within the memory the tool allows itself.
constexpr std::size_t kMaxSolved = 6000;

bool stopRequested(const RecoveryControl& control) {
    return control.stop && control.stop->load(std::memory_order_relaxed);
}

bool endsWithPar2(const std::string& name) {
    if (name.size() < 5)
        return false;
    std::string end = name.substr(name.size() - 5);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".par2";
}

// Bytes done out of a total, counted on any thread, told on the caller's
// whenever they have grown by a step.
class ProgressMeter {
  public:
    explicit ProgressMeter(const RecoveryControl& control) : control_(control) {}
    void addTotal(std::int64_t bytes) { total_ += bytes; }
    void add(std::int64_t bytes) { done_.fetch_add(bytes, std::memory_order_relaxed); }
    void report(bool force = false) {
        const std::int64_t done = std::min(done_.load(), total_);
        if (control_.progress && done != reported_ &&
            (force || done - reported_ >= kStep || done == total_)) {
            reported_ = done;
            control_.progress(done, total_);
        }
    }
    // Waits for `job`, telling the progress meanwhile and at its end.
    void wait(WorkerPool& pool, const std::shared_ptr<WorkerPool::Job>& job) {
        while (!pool.waitFor(job, 100))
            report();
        report(true);
    }

  private:
    static constexpr std::int64_t kStep = 4 << 20;
    const RecoveryControl& control_;
    std::atomic<std::int64_t> done_{0};
    std::int64_t total_ = 0;
    std::int64_t reported_ = -kStep;
};

struct FileCheck {
    RecoveryFileState state = RecoveryFileState::Ok;
    bool present = false;   // something has its name
    std::vector<char> good; // per block: intact in place
    std::uint32_t goodCount = 0;
    std::string detail;
};

// A data block of a file: which file, which of its blocks.
struct BlockPlace {
    std::size_t file = 0;
    std::uint32_t block = 0;
};

class Session {
  public:
    explicit Session(const RecoveryControl& control) : control_(control), progress_(control) {}

    void verify(const std::string& indexPath, RecoveryReport& report);
    void repair(RecoveryReport& report);

  private:
    std::optional<RecoveryProblem> load(const std::string& indexPath, RecoveryReport& report);
    FileCheck checkFile(const SetFile& file, std::vector<char>& buffer);
    std::optional<RecoveryProblem> solve(const std::vector<std::uint32_t>& missing,
                                         std::vector<std::uint32_t>& exponents,
                                         std::vector<std::size_t>& recoveryUsed,
                                         std::vector<std::uint16_t>& inverse);
    std::optional<RecoveryProblem> rebuild(std::vector<TempFile>& temps,
                                           const std::vector<std::size_t>& damagedFiles);
    std::string asideName(const std::string& name) const;
    std::uint64_t blockLength(const SetFile& file, std::uint32_t block) const {
        return std::min<std::uint64_t>(set_.blockSize,
                                       file.description.length - block * set_.blockSize);
    }
    RecoveryProblem stopped() const {
        return RecoveryProblem{"Stopped: nothing was changed.", {}, ECANCELED};
    }

    const RecoveryControl& control_;
    ProgressMeter progress_;
    std::unique_ptr<GfKernel> kernel_;
    std::unique_ptr<WorkerPool> pool_;
    Folder folder_;
    std::string indexName_;
    std::vector<std::string> sourceNames_;
    std::vector<Fd> sourceFds_; // the index, then the volumes
    RecoverySet set_;
    std::vector<FileCheck> checks_;
};

std::optional<RecoveryProblem> Session::load(const std::string& indexPath, RecoveryReport& report) {
    if (auto opened = Folder::open(indexPath, folder_, indexName_))
        return opened;
    kernel_ = makeGfKernel(control_.kernel);
    if (!kernel_)
        return RecoveryProblem{
            "This processor cannot run the kernel \"" + control_.kernel + "\".", {}, 0};
    pool_ = std::make_unique<WorkerPool>(control_.threads);

    // The index the user named may be a link; the files it lists may not.
    Fd index;
    if (const int error = folder_.openForReading(indexName_, index, true))
        return openProblem(error, folder_.display(indexName_));
    sourceNames_.push_back(indexName_);
    sourceFds_.push_back(std::move(index));

    // The volumes: BASE.*.par2 beside the index.
    std::string base = indexName_;
    if (endsWithPar2(base))
        base.resize(base.size() - 5);
    std::vector<std::string> names;
    if (const int error = folder_.list(names))
        report.notes.push_back(
            systemProblem(error, "list", folder_.path().empty() ? "." : folder_.path()).message +
            " Only the index is used.");
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name == indexName_ || name.size() <= base.size() + 6 ||
            name.compare(0, base.size() + 1, base + ".") != 0 || !endsWithPar2(name))
            continue;
        struct stat info {};
        if (folder_.status(name, info) != 0 || !S_ISREG(info.st_mode))
            continue;
        Fd fd;
        if (const int error = folder_.openForReading(name, fd)) {
            report.notes.push_back(openProblem(error, folder_.display(name)).message);
            continue;
        }
        sourceNames_.push_back(name);
        sourceFds_.push_back(std::move(fd));
    }

    // Every packet of every file, on the pool's threads.
    std::vector<ScannedSource> sources(sourceNames_.size());
    std::vector<std::int64_t> sizes(sourceNames_.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        sources[i].name = sourceNames_[i];
        sources[i].shown = folder_.display(sourceNames_[i]);
        struct stat info {};
        sizes[i] = ::fstat(sourceFds_[i].get(), &info) == 0 ? info.st_size : 0;
        progress_.addTotal(sizes[i]);
    }
    auto job = pool_->submit(
        {WorkerPool::Stage{sources.size(), [&](std::size_t i, unsigned) {
                               if (stopRequested(control_))
                                   return;
                               FileSource source(sourceFds_[i].get(), sizes[i]);
                               sources[i].scan = scanPackets(
                                   source, [this](std::int64_t bytes) { progress_.add(bytes); });
                           }}});
    progress_.wait(*pool_, job);
    if (stopRequested(control_))
        return stopped();
    auto assembled = assembleSet(sources);
    if (auto* problem = std::get_if<RecoveryProblem>(&assembled))
        return *problem;
    set_ = std::move(std::get<RecoverySet>(assembled));
    for (std::size_t i = 1; i < sourceNames_.size(); ++i)
        report.volumes.push_back(sourceNames_[i]);
    report.notes.insert(report.notes.end(), set_.notes.begin(), set_.notes.end());
    report.creator = set_.creator;
    report.blockSize = set_.blockSize;
    report.dataBlocks = set_.dataBlocks;
    report.recoveryBlocks = static_cast<std::uint32_t>(set_.recovery.size());
    return std::nullopt;
}

FileCheck Session::checkFile(const SetFile& file, std::vector<char>& buffer) {
    FileCheck check;
    const std::size_t blocks = file.checks.size();
    check.good.assign(blocks, 0);
    Fd fd;
    if (const int error = folder_.openForReading(file.description.name, fd)) {
        if (error == ENOENT) {
            check.state = RecoveryFileState::Missing;
            return check;
        }
        check.present = true;
        check.state = RecoveryFileState::Damaged;
        check.detail = error == ELOOP    ? "a symbolic link, not followed"
                       : error == EISDIR ? "a folder"
                       : error == EINVAL ? "not a regular file"
                                         : std::string("cannot be read: ") + std::strerror(error);
        return check;
    }
    check.present = true;
    struct stat info {};
    const std::uint64_t size =
        ::fstat(fd.get(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    const std::uint64_t length = file.description.length;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // The whole file's MD5 first: when it is right, every block is.
    if (size == length) {
        Md5 md5;
        bool read = true;
        for (std::uint64_t at = 0; at < length && read;) {
            const std::size_t wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - at));
            read = readAt(fd.get(), static_cast<std::int64_t>(at), buffer.data(), wanted) ==
                   static_cast<std::int64_t>(wanted);
            md5.update(buffer.data(), wanted);
            at += wanted;
            progress_.add(static_cast<std::int64_t>(wanted));
            if (stopRequested(control_))
                return check;
        }
        if (read && md5.finish() == file.description.hash) {
            std::fill(check.good.begin(), check.good.end(), 1);
            check.goodCount = static_cast<std::uint32_t>(blocks);
            return check;
        }
    }

    // Block by block: which ones are intact in place.
    std::vector<char> zeros(std::min<std::size_t>(buffer.size(), set_.blockSize), 0);
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::uint64_t start = b * set_.blockSize;
        const std::uint64_t wanted = blockLength(file, static_cast<std::uint32_t>(b));
        if (size < start + wanted)
            break;
        Md5 md5;
        std::uint32_t crc = 0;
        bool read = true;
        for (std::uint64_t at = 0; at < wanted && read;) {
            const std::size_t part =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), wanted - at));
            read = readAt(fd.get(), static_cast<std::int64_t>(start + at), buffer.data(), part) ==
                   static_cast<std::int64_t>(part);
            md5.update(buffer.data(), part);
            crc = crc32Of(buffer.data(), part, crc);
            at += part;
        }
        for (std::uint64_t padding = set_.blockSize - wanted; padding > 0;) {
            const std::size_t part =
                static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), padding));
            md5.update(zeros.data(), part);
            crc = crc32Of(zeros.data(), part, crc);
            padding -= part;
        }
        if (read && crc == file.checks[b].crc && md5.finish() == file.checks[b].md5) {
            check.good[b] = 1;
            ++check.goodCount;
        }
        if (stopRequested(control_))
            return check;
    }
    check.state = RecoveryFileState::Damaged;
    if (size < length)
        check.detail = std::to_string(length - size) + " bytes shorter than listed";
    else if (size > length)
        check.detail = std::to_string(size - length) + " bytes longer than listed";
    else
        check.detail = "its bytes differ from those listed";
    check.detail +=
        ", " + std::to_string(check.goodCount) + " of " + std::to_string(blocks) + " blocks intact";
    return check;
}

void Session::verify(const std::string& indexPath, RecoveryReport& report) {
    if (auto problem = load(indexPath, report)) {
        report.problem = std::move(problem);
        return;
    }
    for (const SetFile& file : set_.files)
        progress_.addTotal(static_cast<std::int64_t>(file.description.length));
    // The longest files first, so that the threads finish together.
    std::vector<std::size_t> order(set_.files.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return set_.files[a].description.length > set_.files[b].description.length;
    });
    checks_.resize(set_.files.size());
    auto job = pool_->submit({WorkerPool::Stage{order.size(), [&](std::size_t i, unsigned) {
                                                    if (stopRequested(control_))
                                                        return;
                                                    std::vector<char> buffer(kReadChunk);
                                                    checks_[order[i]] =
                                                        checkFile(set_.files[order[i]], buffer);
                                                }}});
    progress_.wait(*pool_, job);
    if (stopRequested(control_)) {
        report.problem = stopped();
        return;
    }
    for (std::size_t f = 0; f < set_.files.size(); ++f) {
        const SetFile& file = set_.files[f];
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
}

std::string Session::asideName(const std::string& name) const {
    for (int k = 1;; ++k) {
        const std::string aside = name + "." + std::to_string(k);
        bool taken = folder_.exists(aside);
        for (const SetFile& file : set_.files)
            taken = taken || file.description.name == aside;
        if (!taken)
            return aside;
    }
}

// Chooses as many recovery blocks as blocks are missing and inverts the
// matrix of their factors for the missing blocks.
std::optional<RecoveryProblem> Session::solve(const std::vector<std::uint32_t>& missing,
                                              std::vector<std::uint32_t>& exponents,
                                              std::vector<std::size_t>& recoveryUsed,
                                              std::vector<std::uint16_t>& inverse) {
    const Gf16& gf = gf16();
    const std::size_t count = missing.size();
    std::vector<std::size_t> candidates(set_.recovery.size());
    for (std::size_t i = 0; i < candidates.size(); ++i)
        candidates[i] = i;
    std::mt19937 random(1);
    for (int attempt = 0; attempt < kSolveAttempts; ++attempt) {
        if (attempt > 0) {
            if (candidates.size() == count)
                break;
            std::shuffle(candidates.begin(), candidates.end(), random);
        }
        recoveryUsed.assign(candidates.begin(),
                            candidates.begin() + static_cast<std::ptrdiff_t>(count));
        std::sort(recoveryUsed.begin(), recoveryUsed.end());
        exponents.clear();
        for (std::size_t r : recoveryUsed)
            exponents.push_back(set_.recovery[r].exponent);
        inverse.assign(count * count, 0);
        for (std::size_t r = 0; r < count; ++r)
            for (std::size_t k = 0; k < count; ++k)
                inverse[r * count + k] = gf.inputFactor(missing[k], exponents[r]);
        if (invertMatrix(*kernel_, *pool_, inverse, count))
            return std::nullopt;
    }
    return RecoveryProblem{"The recovery blocks at hand cannot rebuild the missing ones: their "
                           "equations depend on each other. Nothing was changed.",
                           folder_.display(indexName_), 0};
}

void Session::repair(RecoveryReport& report) {
    std::vector<std::size_t> damagedFiles;
    for (std::size_t f = 0; f < checks_.size(); ++f) {
        if (checks_[f].state != RecoveryFileState::Ok)
            damagedFiles.push_back(f);
    }
    if (damagedFiles.empty())
        return;
    if (!report.repairable()) {
        const std::uint32_t lacking = report.missingBlocks - report.recoveryBlocks;
        report.problem = RecoveryProblem{
            std::to_string(report.missingBlocks) + " blocks are missing and only " +
                std::to_string(report.recoveryBlocks) +
                " recovery blocks are at hand: " + std::to_string(lacking) + " more " +
                (lacking == 1 ? "is" : "are") + " needed. Nothing was changed.",
            folder_.display(indexName_), 0};
        return;
    }
    std::vector<TempFile> temps(set_.files.size());
    for (std::size_t f : damagedFiles) {
        const SetFile& file = set_.files[f];
        if (auto problem = TempFile::create(folder_, file.description.name, temps[f])) {
            report.problem = std::move(problem);
            return;
        }
        if (::ftruncate(temps[f].fd(), static_cast<off_t>(file.description.length)) != 0) {
            report.problem = systemProblem(errno, "write", folder_.display(temps[f].tempName()));
            return;
        }
    }
    if (auto problem = rebuild(temps, damagedFiles)) {
        report.problem = std::move(problem);
        return;
    }

    // Each rebuilt file read back against its MD5 before anything is renamed.
    std::vector<std::optional<RecoveryProblem>> wrong(set_.files.size());
    auto job = pool_->submit({WorkerPool::Stage{
        damagedFiles.size(), [&](std::size_t i, unsigned) {
            const std::size_t f = damagedFiles[i];
            const SetFile& file = set_.files[f];
            std::vector<char> buffer(kReadChunk);
            Md5 md5;
            for (std::uint64_t at = 0; at < file.description.length;) {
                const std::size_t part = static_cast<std::size_t>(
                    std::min<std::uint64_t>(buffer.size(), file.description.length - at));
                if (readAt(temps[f].fd(), static_cast<std::int64_t>(at), buffer.data(), part) !=
                    static_cast<std::int64_t>(part)) {
                    wrong[f] = systemProblem(errno ? errno : EIO, "read",
                                             folder_.display(temps[f].tempName()));
                    return;
                }
                md5.update(buffer.data(), part);
                at += part;
                progress_.add(static_cast<std::int64_t>(part));
            }
            if (md5.finish() != file.description.hash) {
                const std::string shown = folder_.display(file.description.name);
                wrong[f] = RecoveryProblem{"The rebuilt \"" + shown +
                                               "\" does not match its MD5 checksum (a file changed "
                                               "while it was repaired?). Nothing was changed.",
                                           shown, 0};
            }
        }}});
    progress_.wait(*pool_, job);
    for (std::size_t f : damagedFiles) {
        if (wrong[f]) {
            report.problem = std::move(wrong[f]);
            return;
        }
    }

    // Only now is anything renamed: the damaged file aside, the new one in.
    std::size_t done = 0;
    for (std::size_t f : damagedFiles) {
        const std::string& name = set_.files[f].description.name;
        RecoveryFileReport& entry = report.files[f];
        std::optional<RecoveryProblem> failed;
        if (checks_[f].present) {
            entry.setAside = asideName(name);
            if (const int error = folder_.rename(name, entry.setAside, false))
                failed = systemProblem(error, "rename aside", folder_.display(name));
        }
        if (!failed)
            failed = temps[f].commit(false);
        if (failed) {
            if (done > 0)
                failed->message += " " + std::to_string(done) + " of the " +
                                   std::to_string(damagedFiles.size()) +
                                   " files were rebuilt before it.";
            report.problem = std::move(failed);
            return;
        }
        entry.rebuilt = true;
        ++done;
    }
    report.missingBlocks = 0;
}

// Writes every block of the damaged files into their temporary files: the
// intact ones copied, the missing ones computed from all intact data blocks
// and as many recovery blocks, a group of missing blocks per pass.
std::optional<RecoveryProblem> Session::rebuild(std::vector<TempFile>& temps,
                                                const std::vector<std::size_t>& damagedFiles) {
    const Gf16& gf = gf16();
    std::vector<std::uint32_t> missing; // constant indexes
    std::vector<BlockPlace> missingPlaces;
    std::vector<std::uint32_t> goodConstants;
    std::vector<BlockPlace> goodPlaces;
    for (std::size_t f = 0; f < set_.files.size(); ++f) {
        const SetFile& file = set_.files[f];
        for (std::uint32_t b = 0; b < file.checks.size(); ++b) {
            if (checks_[f].good[b]) {
                goodConstants.push_back(file.firstConstant + b);
                goodPlaces.push_back(BlockPlace{f, b});
            } else {
                missing.push_back(file.firstConstant + b);
                missingPlaces.push_back(BlockPlace{f, b});
            }
        }
    }
    const std::size_t count = missing.size();
    const std::size_t good = goodConstants.size();
    if (count > kMaxSolved)
        return RecoveryProblem{std::to_string(count) +
                                   " blocks are missing; this tool rebuilds at "
                                   "most " +
                                   std::to_string(kMaxSolved) + " at once. Nothing was changed.",
                               folder_.display(indexName_), 0};
    std::vector<std::uint32_t> exponents;
    std::vector<std::size_t> recoveryUsed;
    std::vector<std::uint16_t> inverse;
    if (count > 0) {
        if (auto problem = solve(missing, exponents, recoveryUsed, inverse))
            return problem;
    }

    // Rows of missing blocks per pass, within the memory allowed for the
    // rebuilt blocks and their factors.
    const std::size_t perRow = paddedSize(set_.blockSize) + paddedSize(2 * good);
    const std::size_t group = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max<std::int64_t>(control_.memory, 0)) / perRow, 1,
        std::max<std::size_t>(count, 1));
    const std::size_t passes = count == 0 ? 1 : (count + group - 1) / group;
    for (std::size_t f : damagedFiles)
        progress_.addTotal(static_cast<std::int64_t>(set_.files[f].description.length));
    progress_.addTotal(static_cast<std::int64_t>(passes * (good + count) * set_.blockSize));

    BlockAccumulator data(*kernel_, *pool_, set_.blockSize,
                          BlockAccumulator::batchBlocksFor(set_.blockSize, kBatchBytes));
    std::unique_ptr<BlockAccumulator> factors;
    if (count > 0 && good > 0)
        factors = std::make_unique<BlockAccumulator>(
            *kernel_, *pool_, 2 * good, BlockAccumulator::batchBlocksFor(2 * good, kBatchBytes));
    std::vector<std::uint16_t> rowFactors;
    std::vector<char> isDamaged(set_.files.size(), 0);
    for (std::size_t f : damagedFiles)
        isDamaged[f] = 1;

    for (std::size_t first = 0, pass = 0; pass < passes; first += group, ++pass) {
        const std::size_t rows = count == 0 ? 0 : std::min(group, count - first);
        // The factors of the intact data blocks in these rows: the inverse's
        // rows times the factors of the intact blocks in the chosen recovery blocks.
        if (factors && rows > 0) {
            factors->begin(rows, [&](std::uint32_t r, std::size_t j) {
                return inverse[(first + j) * count + r];
            });
            for (std::size_t r = 0; r < count; ++r) {
                std::uint8_t* row = factors->inputBuffer();
                for (std::size_t i = 0; i < good; ++i) {
                    const std::uint16_t factor = gf.inputFactor(goodConstants[i], exponents[r]);
                    row[2 * i] = static_cast<std::uint8_t>(factor);
                    row[2 * i + 1] = static_cast<std::uint8_t>(factor >> 8);
                }
                factors->add(static_cast<std::uint32_t>(r), 2 * good);
            }
            factors->end();
            rowFactors.resize(rows * good);
            for (std::size_t j = 0; j < rows; ++j)
                for (std::size_t i = 0; i < good; ++i)
                    rowFactors[j * good + i] = wordAt(GfLayout::Words, factors->output(j), i);
        }
        data.begin(rows, [&](std::uint32_t tag, std::size_t j) -> std::uint16_t {
            if (tag < good)
                return rowFactors[j * good + tag];
            return inverse[(first + j) * count + (tag - good)];
        });

        // The intact data blocks, file by file; those of damaged files are
        // also copied into place on the first pass.
        Fd fd;
        std::size_t open = SIZE_MAX;
        for (std::size_t i = 0; i < good; ++i) {
            if (stopRequested(control_))
                return stopped();
            const BlockPlace place = goodPlaces[i];
            const SetFile& file = set_.files[place.file];
            const std::string shown = folder_.display(file.description.name);
            if (open != place.file) {
                fd = Fd();
                if (const int error = folder_.openForReading(file.description.name, fd))
                    return openProblem(error, shown);
                ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
                open = place.file;
            }
            const std::size_t wanted = static_cast<std::size_t>(blockLength(file, place.block));
            const std::int64_t at = static_cast<std::int64_t>(place.block * set_.blockSize);
            std::uint8_t* bytes = data.inputBuffer();
            const std::int64_t got = readAt(fd.get(), at, bytes, wanted);
            if (got < 0)
                return systemProblem(errno, "read", shown);
            if (got != static_cast<std::int64_t>(wanted))
                return RecoveryProblem{"\"" + shown +
                                           "\" became shorter during the repair. "
                                           "Nothing was changed.",
                                       shown, 0};
            if (pass == 0 && isDamaged[place.file]) {
                if (auto failed = temps[place.file].writeAt(at, bytes, wanted))
                    return failed;
            }
            if (rows > 0)
                data.add(static_cast<std::uint32_t>(i), wanted);
            progress_.add(static_cast<std::int64_t>(set_.blockSize));
            progress_.report();
        }
        fd = Fd();
        if (rows == 0)
            break;
        // The chosen recovery blocks.
        for (std::size_t r = 0; r < count; ++r) {
            if (stopRequested(control_))
                return stopped();
            const RecoveryBlockAt& at = set_.recovery[recoveryUsed[r]];
            const std::int64_t got = readAt(sourceFds_[at.source].get(), at.dataOffset,
                                            data.inputBuffer(), set_.blockSize);
            if (got != static_cast<std::int64_t>(set_.blockSize))
                return systemProblem(got < 0 ? errno : EIO, "read",
                                     folder_.display(sourceNames_[at.source]));
            data.add(static_cast<std::uint32_t>(good + r), set_.blockSize);
            progress_.add(static_cast<std::int64_t>(set_.blockSize));
            progress_.report();
        }
        data.end();
        for (std::size_t j = 0; j < rows; ++j) {
            const BlockPlace place = missingPlaces[first + j];
            const SetFile& file = set_.files[place.file];
            if (auto failed = temps[place.file].writeAt(
                    static_cast<std::int64_t>(place.block * set_.blockSize), data.output(j),
                    blockLength(file, place.block)))
                return failed;
        }
    }
    return std::nullopt;
}

} // namespace

bool RecoveryReport::complete() const {
    if (problem)
        return false;
    for (const RecoveryFileReport& file : files) {
        if (file.state != RecoveryFileState::Ok && !file.rebuilt)
            return false;
    }
    return true;
}

RecoveryReport verifyRecovery(const std::string& indexPath, const RecoveryControl& control) {
    RecoveryReport report;
    try {
        Session session(control);
        session.verify(indexPath, report);
    } catch (const std::bad_alloc&) {
        report.problem = RecoveryProblem{"Not enough memory to verify \"" + indexPath + "\".",
                                         indexPath, ENOMEM};
    }
    return report;
}

RecoveryReport repairRecovery(const std::string& indexPath, const RecoveryControl& control) {
    RecoveryReport report;
    try {
        Session session(control);
        session.verify(indexPath, report);
        if (!report.problem)
            session.repair(report);
    } catch (const std::bad_alloc&) {
        report.problem = RecoveryProblem{"Not enough memory to repair with \"" + indexPath +
                                             "\". Nothing was changed.",
                                         indexPath, ENOMEM};
    }
    return report;
}

} // namespace shardix
