#include "engines/recovery/RepairSession.h"

#include "engines/recovery/Checksum.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace shardix::par2 {

namespace {

// Why the file `name` that the index lists cannot be opened, in words.
std::string unreadable(const Error& error, const std::string& name) {
    switch (unreadableOf(error)) {
    case Unreadable::Link:
        return name.find('/') == std::string::npos
                   ? "a symbolic link, not followed"
                   : "a symbolic link (it or a folder on its way), not followed";
    case Unreadable::Folder:
        return "a folder";
    case Unreadable::NotRegular:
        return "not a regular file";
    default:
        return "cannot be read: " + error.cause;
    }
}

// Checks one file in stages: opened (or missing), its whole MD5 (when its
// length is right; when the MD5 is too, every block is intact), then block
// by block.
class FileChecker {
  public:
    FileChecker(const OpenedSet& opened, const SetFile& file, std::vector<char>& buffer,
                ProgressMeter& progress, const RecoveryControl& control)
        : opened_(opened), file_(file), blockSize_(opened.set.blockSize), buffer_(buffer),
          progress_(progress), control_(control) {}

    // `wholeMatches`: the file's MD5 is known to be the listed one.
    FileCheck run(bool wholeMatches) {
        check_.good.assign(file_.checks.size(), 0);
        if (!open())
            return check_;
        const bool lengthRight = size_ == file_.description.length;
        if (!(lengthRight && wholeMatches) && buffer_.empty())
            buffer_.resize(kRepairReadChunk); // only a file to read needs it
        if (lengthRight && (wholeMatches || wholeFileMatches())) {
            std::fill(check_.good.begin(), check_.good.end(), 1);
            check_.goodCount = static_cast<std::uint32_t>(file_.checks.size());
            return check_;
        }
        if (control_.stopRequested() || !checkBlocks())
            return check_;
        describeDamage();
        return check_;
    }

  private:
    bool open();
    bool wholeFileMatches();
    bool checkBlocks();
    bool blockMatches(std::size_t b);
    void describeDamage();

    const OpenedSet& opened_;
    const SetFile& file_;
    const std::uint64_t blockSize_;
    std::vector<char>& buffer_;
    ProgressMeter& progress_;
    const RecoveryControl& control_;
    FileCheck check_;
    FileHandle fd_;
    std::uint64_t size_ = 0;
    std::vector<char> zeros_; // the padding of a file's last block
};

// False when there is no file to read: missing, or damaged as a whole.
bool FileChecker::open() {
    Result<FileHandle> file = opened_.folder.openForReading(file_.description.name);
    if (!file.ok()) {
        if (file.error().kind == ErrorKind::FileNotFound) {
            check_.state = RecoveryFileState::Missing;
            return false;
        }
        check_.present = true;
        check_.state = RecoveryFileState::Damaged;
        check_.detail = unreadable(file.error(), file_.description.name);
        return false;
    }
    fd_ = std::move(file).value();
    check_.present = true;
    struct stat info {};
    size_ = ::fstat(fd_.fd(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    ::posix_fadvise(fd_.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

// The whole file's MD5 is the listed one; false too when asked to stop.
bool FileChecker::wholeFileMatches() {
    const std::uint64_t length = file_.description.length;
    Md5 md5;
    bool read = true;
    for (std::uint64_t at = 0; at < length && read;) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), length - at));
        read = readsWhole(fd_, at, buffer_.data(), wanted);
        md5.update(buffer_.data(), wanted);
        at += wanted;
        progress_.add(static_cast<std::int64_t>(wanted));
        if (control_.stopRequested())
            return false;
    }
    return read && md5.finish() == file_.description.hash;
}

// Which blocks are intact in place; false when asked to stop.
bool FileChecker::checkBlocks() {
    zeros_.assign(std::min<std::uint64_t>(buffer_.size(), blockSize_), 0);
    for (std::size_t b = 0; b < file_.checks.size(); ++b) {
        const std::uint64_t end =
            b * blockSize_ + opened_.blockLength(file_, static_cast<std::uint32_t>(b));
        if (size_ < end)
            break;
        if (blockMatches(b)) {
            check_.good[b] = 1;
            ++check_.goodCount;
        }
        if (control_.stopRequested())
            return false;
    }
    return true;
}

// Block `b`, padded with zeros to the block size, has its listed checksums.
bool FileChecker::blockMatches(std::size_t b) {
    const std::uint64_t start = b * blockSize_;
    const std::uint64_t wanted = opened_.blockLength(file_, static_cast<std::uint32_t>(b));
    Md5 md5;
    std::uint32_t crc = 0;
    bool read = true;
    for (std::uint64_t at = 0; at < wanted && read;) {
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), wanted - at));
        read = readsWhole(fd_, start + at, buffer_.data(), part);
        md5.update(buffer_.data(), part);
        crc = crc32Update(crc, buffer_.data(), part);
        at += part;
    }
    for (std::uint64_t padding = blockSize_ - wanted; padding > 0;) {
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(zeros_.size(), padding));
        md5.update(zeros_.data(), part);
        crc = crc32Update(crc, zeros_.data(), part);
        padding -= part;
    }
    return read && crc == file_.checks[b].crc && md5.finish() == file_.checks[b].md5;
}

void FileChecker::describeDamage() {
    const std::uint64_t length = file_.description.length;
    check_.state = RecoveryFileState::Damaged;
    if (size_ < length)
        check_.damage = counted(length - size_, "byte") + " shorter than listed";
    else if (size_ > length)
        check_.damage = counted(size_ - length, "byte") + " longer than listed";
    else
        check_.damage = "its bytes differ from those listed";
    describeBlocks(check_, file_.checks.size());
}

} // namespace

void describeBlocks(FileCheck& check, std::size_t blocks) {
    // A file that could not be read keeps its reason alone.
    if (check.state != RecoveryFileState::Damaged || check.damage.empty())
        return;
    check.detail = check.damage + ", " + std::to_string(check.goodCount) + " of " +
                   counted(blocks, "block") + " intact";
    if (!check.elsewhere.empty())
        check.detail += ", " + std::to_string(check.elsewhere.size()) + " of them at other places";
}

FileCheck checkFile(const OpenedSet& opened, const SetFile& file, std::vector<char>& buffer,
                    ProgressMeter& progress, const RecoveryControl& control, bool wholeMatches) {
    return FileChecker(opened, file, buffer, progress, control).run(wholeMatches);
}

} // namespace shardix::par2
