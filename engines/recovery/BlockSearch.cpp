#include "engines/io/PositionedIo.h"
#include "engines/recovery/Checksum.h"
#include "engines/recovery/RepairSession.h"
#include "engines/recovery/RollingCrc.h"
#include "errors/Quoted.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

namespace shardix::par2 {

namespace {

// The bytes read at a time beyond the window.
constexpr std::size_t kSearchChunk = 4 << 20;
// Bits of the quick filter that rules out most windows before the table.
constexpr unsigned kFilterBits = 22;

// A block wanted: which file, which of its blocks.
struct Wanted {
    std::size_t file = 0;
    std::uint32_t block = 0;
};

// A file being searched, opened.
struct Source {
    BlockCopy copy;
    FileHandle fd;
    std::uint64_t size = 0;
    // For a file of the set: which, and by block, intact in its place.
    std::size_t file = SIZE_MAX;
    std::vector<char> inPlace;
};

class BlockSearch {
  public:
    BlockSearch(const OpenedSet& opened, std::vector<FileCheck>& checks, ProgressMeter& progress,
                const RecoveryControl& control)
        : opened_(opened), set_(opened.set), checks_(checks), blockSize_(opened.set.blockSize),
          progress_(progress), control_(control), filter_(std::size_t{1} << kFilterBits >> 3),
          rolling_(opened.set.blockSize) {
        listWanted();
    }

    bool done() const { return remaining_ == 0; }
    void search(Source& source);

  private:
    void listWanted();
    void slide(Source& source);
    std::size_t scanHeld(const Source& source, std::uint64_t base, std::size_t at, std::size_t held,
                         bool& restart);
    bool intactInPlace(const Source& source, std::uint64_t at);
    bool tryWindow(const Source& source, const std::uint8_t* window, std::uint64_t at);
    void tryTail(Source& source);
    bool found(const Wanted& wanted, const Md5Digest& md5, const Source& source, std::uint64_t at);
    bool inFilter(std::uint32_t crc) const {
        const std::uint32_t bit = crc & ((1u << kFilterBits) - 1);
        return (filter_[bit >> 3] >> (bit & 7)) & 1;
    }

    const OpenedSet& opened_;
    const RecoverySet& set_;
    std::vector<FileCheck>& checks_;
    const std::uint64_t blockSize_;
    ProgressMeter& progress_;
    const RecoveryControl& control_;
    std::vector<std::uint8_t> filter_;
    std::unordered_multimap<std::uint32_t, Wanted> full_; // by CRC-32
    std::vector<Wanted> partial_;                         // last blocks shorter than the size
    std::size_t remaining_ = 0;
    RollingCrc rolling_;
    std::vector<std::uint8_t> buffer_;
};

void BlockSearch::listWanted() {
    for (std::size_t f = 0; f < set_.files.size(); ++f) {
        const SetFile& file = set_.files[f];
        for (std::uint32_t b = 0; b < file.checks.size(); ++b) {
            if (checks_[f].good[b])
                continue;
            ++remaining_;
            if (opened_.blockLength(file, b) < blockSize_) {
                partial_.push_back(Wanted{f, b});
                continue;
            }
            const std::uint32_t crc = file.checks[b].crc;
            full_.emplace(crc, Wanted{f, b});
            const std::uint32_t bit = crc & ((1u << kFilterBits) - 1);
            filter_[bit >> 3] = static_cast<std::uint8_t>(filter_[bit >> 3] | 1u << (bit & 7));
        }
    }
}

void BlockSearch::search(Source& source) {
    progress_.addTotal(static_cast<std::int64_t>(source.size));
    if (source.size >= blockSize_ && !full_.empty())
        slide(source);
    if (!partial_.empty())
        tryTail(source);
}

// Every window of the block size, from the file's start; past a block found,
// the next window starts at its end.
void BlockSearch::slide(Source& source) {
    buffer_.resize(blockSize_ + kSearchChunk);
    std::uint64_t base = 0; // the file's offset of buffer_[0]
    std::size_t held = 0;
    std::size_t at = 0;  // the window's start in buffer_
    bool restart = true; // the rolling CRC is not that of the window at `at`
    while (remaining_ > 0 && base + at + blockSize_ <= source.size) {
        if (control_.stopRequested())
            fail(stoppedRepair());
        // Keep the window and read on behind it.
        std::memmove(buffer_.data(), buffer_.data() + at, held - at);
        held -= at;
        base += at;
        at = 0;
        const std::size_t got =
            valueOrRaise(retold(readAt(source.fd, static_cast<std::int64_t>(base + held),
                                       buffer_.data() + held, buffer_.size() - held),
                                "read", source.copy.file));
        held += got;
        progress_.add(static_cast<std::int64_t>(got));
        progress_.report();
        if (held < blockSize_)
            break;
        at = scanHeld(source, base, at, held, restart);
        if (got == 0)
            break;
    }
}

// The windows that start in buffer_[at, held) (at `base` in the file) as far
// as the bytes held go; where the next window starts.
std::size_t BlockSearch::scanHeld(const Source& source, std::uint64_t base, std::size_t at,
                                  std::size_t held, bool& restart) {
    std::uint64_t aligned = 0; // the next offset of a block's place in the file
    for (;;) {
        if (restart) {
            rolling_.start(buffer_.data() + at);
            aligned = (base + at + blockSize_ - 1) / blockSize_ * blockSize_;
        }
        restart = false;
        // A block of the file itself intact in its place is skipped: what it
        // holds is known from its checksums.
        const bool skip = base + at == aligned && intactInPlace(source, aligned);
        if (base + at == aligned)
            aligned += blockSize_;
        if (skip || tryWindow(source, buffer_.data() + at, base + at)) {
            at += blockSize_;
            restart = true;
            if (at + blockSize_ > held)
                return at;
            continue;
        }
        if (at + blockSize_ >= held)
            return at;
        rolling_.roll(buffer_[at], buffer_[at + blockSize_]);
        ++at;
    }
}

// Whether the block of `source` (a file of the set) whose place starts at
// `at` is intact there; the wanted blocks of the same bytes are found there.
bool BlockSearch::intactInPlace(const Source& source, std::uint64_t at) {
    const auto block = static_cast<std::size_t>(at / blockSize_);
    if (block >= source.inPlace.size() || !source.inPlace[block])
        return false;
    const BlockCheck& own = set_.files[source.file].checks[block];
    auto [first, last] = full_.equal_range(own.crc);
    for (auto it = first; it != last;)
        it = found(it->second, own.md5, source, at) ? full_.erase(it) : std::next(it);
    return true;
}

// Whether the window at `window` (file offset `at`) is a wanted block; every
// wanted block of the same bytes is found there.
bool BlockSearch::tryWindow(const Source& source, const std::uint8_t* window, std::uint64_t at) {
    const std::uint32_t crc = rolling_.crc();
    if (!inFilter(crc))
        return false;
    auto [first, last] = full_.equal_range(crc);
    if (first == last)
        return false;
    const Md5Digest md5 = md5Of(window, blockSize_);
    bool any = false;
    for (auto it = first; it != last;) {
        if (found(it->second, md5, source, at)) {
            any = true;
            it = full_.erase(it);
        } else {
            ++it;
        }
    }
    return any;
}

// The last blocks shorter than the block size: at the file's end, padded with zeros.
void BlockSearch::tryTail(Source& source) {
    for (auto it = partial_.begin(); it != partial_.end();) {
        const SetFile& file = set_.files[it->file];
        const std::uint64_t length = opened_.blockLength(file, it->block);
        std::vector<std::uint8_t> bytes(blockSize_, 0);
        const std::uint64_t at = source.size >= length ? source.size - length : 0;
        const bool read = source.size >= length && readsWhole(source.fd, at, bytes.data(), length);
        if (read && crc32Update(0, bytes.data(), blockSize_) == file.checks[it->block].crc &&
            found(*it, md5Of(bytes.data(), blockSize_), source, at))
            it = partial_.erase(it);
        else
            ++it;
    }
}

// When `md5` is that of `wanted`, records its copy at `at` of `source`.
bool BlockSearch::found(const Wanted& wanted, const Md5Digest& md5, const Source& source,
                        std::uint64_t at) {
    const SetFile& file = set_.files[wanted.file];
    FileCheck& check = checks_[wanted.file];
    if (md5 != file.checks[wanted.block].md5 || check.good[wanted.block])
        return false;
    check.good[wanted.block] = 1;
    ++check.goodCount;
    BlockCopy copy = source.copy;
    copy.offset = at;
    check.elsewhere.emplace(wanted.block, std::move(copy));
    --remaining_;
    return true;
}

// Why a file named for the search was not searched, in words.
std::string notSearchedWhy(const Error& error) {
    switch (unreadableOf(error)) {
    case Unreadable::NotRegular:
        return "not a regular file";
    case Unreadable::Link:
        return std::strerror(ELOOP);
    default:
        return error.cause;
    }
}

// Tells, for each file named for the search and searched, which blocks of
// the set were found in it: "FILE holds 40 blocks of the set: 40 of "p.2"."
void noteFinds(const OpenedSet& opened, const std::vector<FileCheck>& checks,
               const std::vector<std::string>& searched, std::vector<std::string>& notes) {
    for (const std::string& path : searched) {
        std::map<std::size_t, std::uint32_t> byFile;
        std::uint32_t total = 0;
        for (std::size_t f = 0; f < checks.size(); ++f)
            for (const auto& [block, copy] : checks[f].elsewhere)
                if (!copy.inFolder && copy.file == path) {
                    ++byFile[f];
                    ++total;
                }
        if (total == 0) {
            notes.push_back(quoted(path) + " holds no block of the set that was not in place.");
            continue;
        }
        std::string text = quoted(path) + " holds " + counted(total, "block") + " of the set: ";
        for (auto it = byFile.begin(); it != byFile.end(); ++it)
            text += (it == byFile.begin() ? "" : ", ") + std::to_string(it->second) + " of " +
                    quoted(opened.folder.display(opened.set.files[it->first].description.name));
        notes.push_back(text + ".");
    }
}

} // namespace

// A file named for the search, opened without blocking on a pipe or a
// device.
Result<FileHandle> openNamedFile(const std::string& path) {
    FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY), path);
    if (!file.isOpen())
        return openError(errno, path);
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0)
        return openError(errno, path);
    if (S_ISDIR(info.st_mode))
        return openError(EISDIR, path);
    if (!S_ISREG(info.st_mode))
        return openError(EINVAL, path);
    return file;
}

namespace {

// searchBlocks(), its failures raised.
void searchAll(const OpenedSet& opened, std::vector<FileCheck>& checks,
               const std::vector<std::string>& extraFiles, ProgressMeter& progress,
               const RecoveryControl& control, std::vector<std::string>& notes) {
    BlockSearch search(opened, checks, progress, control);
    const std::vector<SetFile>& files = opened.set.files;
    for (std::size_t f = 0; f < files.size() && !search.done(); ++f) {
        if (checks[f].state == RecoveryFileState::Ok || !checks[f].present)
            continue;
        Result<FileHandle> file = opened.folder.openForReading(files[f].description.name);
        if (!file.ok())
            continue;
        Source source{BlockCopy{files[f].description.name, true, 0}, std::move(file).value(), 0, f,
                      checks[f].good};
        for (const auto& [block, copy] : checks[f].elsewhere)
            source.inPlace[block] = 0;
        struct stat info {};
        source.size =
            ::fstat(source.fd.fd(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
        search.search(source);
    }
    std::vector<std::string> searched;
    for (const std::string& path : extraFiles) {
        if (search.done())
            break;
        Result<FileHandle> file = openNamedFile(path);
        if (!file.ok()) {
            notes.push_back(quoted(path) +
                            " was not searched for blocks: " + notSearchedWhy(file.error()) + ".");
            continue;
        }
        Source source{BlockCopy{path, false, 0}, std::move(file).value(), 0, SIZE_MAX, {}};
        struct stat info {};
        ::fstat(source.fd.fd(), &info);
        source.size = static_cast<std::uint64_t>(info.st_size);
        search.search(source);
        searched.push_back(path);
    }
    for (std::size_t f = 0; f < files.size(); ++f)
        describeBlocks(checks[f], files[f].checks.size());
    noteFinds(opened, checks, searched, notes);
}

} // namespace

Result<> searchBlocks(const OpenedSet& opened, std::vector<FileCheck>& checks,
                      const std::vector<std::string>& extraFiles, ProgressMeter& progress,
                      const RecoveryControl& control, std::vector<std::string>& notes) {
    return guarded([&]() -> Result<> {
        searchAll(opened, checks, extraFiles, progress, control, notes);
        return {};
    });
}

} // namespace shardix::par2
