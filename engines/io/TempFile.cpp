#include "engines/io/TempFile.h"

#include "engines/io/PositionedIo.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <utility>

namespace shardix {

TempFile::TempFile(TempFile&& other) noexcept
    : folder_(std::exchange(other.folder_, nullptr)), file_(std::move(other.file_)),
      finalName_(std::move(other.finalName_)), tempName_(std::move(other.tempName_)),
      keepFailures_(other.keepFailures_), failure_(std::move(other.failure_)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        discard();
        folder_ = std::exchange(other.folder_, nullptr);
        file_ = std::move(other.file_);
        finalName_ = std::move(other.finalName_);
        tempName_ = std::move(other.tempName_);
        keepFailures_ = other.keepFailures_;
        failure_ = std::move(other.failure_);
    }
    return *this;
}

TempFile::~TempFile() {
    discard();
}

Result<TempFile> TempFile::create(const Folder& folder, const std::string& finalName) {
    std::random_device seed;
    std::mt19937 random(seed());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::string shownFinal = folder.display(finalName);
    // In the folder of the final name, made where it is missing.
    Result<Folder::Place> place = folder.placeOf(finalName, true);
    if (!place.ok())
        return retold(place.error(), "create a temporary file for", shownFinal);
    const std::string dir = finalName.substr(0, finalName.size() - place->leaf.size());
    const std::size_t limit = nameLimit(place->fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string ending = ".tmp-";
        for (int i = 0; i < 6; ++i)
            ending += kLetters[random() % (sizeof kLetters - 1)];
        const std::string leaf = nameWithEnding(place->leaf, ending, limit);
        const std::string name = dir + leaf;
        const int fd = ::openat(place->fd, leaf.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            TempFile file;
            file.folder_ = &folder;
            file.file_ = FileHandle(fd, folder.display(name));
            file.finalName_ = finalName;
            file.tempName_ = name;
            return file;
        }
        if (errno != EEXIST)
            return Error::fromErrno(errno, "create", folder.display(name), Missing::Folder);
    }
    return Error::fromErrno(EEXIST, "create a temporary file for", shownFinal);
}

TempFile TempFile::failed(Error error) {
    TempFile file;
    file.keepFailures_ = true;
    file.failure_ = std::move(error);
    return file;
}

Result<> TempFile::failWith(Error error) {
    if (!keepFailures_)
        return error;
    failure_ = std::move(error);
    return {};
}

Result<> TempFile::writeAt(std::int64_t offset, const void* bytes, std::size_t length) {
    if (failure_)
        return {};
    Result<> written = shardix::writeAt(file_, offset, bytes, length);
    return written.ok() ? written : failWith(written.error());
}

Result<> TempFile::resize(std::uint64_t length) {
    if (failure_)
        return {};
    if (::ftruncate(file_.fd(), static_cast<off_t>(length)) != 0)
        return failWith(Error::fromErrno(errno, "write", file_.path()));
    return {};
}

Result<> TempFile::commit(bool replace) {
    // discard() lets go of the folder: the names are taken first.
    const std::string shownTemp = folder_->display(tempName_);
    const std::string shownFinal = folder_->display(finalName_);
    if (::close(file_.release()) != 0) {
        const int error = errno;
        discard();
        return Error::fromErrno(error, "write", shownTemp);
    }
    if (Result<> moved = folder_->rename(tempName_, finalName_, replace); !moved.ok()) {
        discard();
        return retold(moved.error(), "write", shownFinal);
    }
    folder_ = nullptr;
    return {};
}

void TempFile::discard() {
    if (!folder_)
        return;
    file_ = FileHandle();
    static_cast<void>(folder_->remove(tempName_));
    folder_ = nullptr;
}

} // namespace shardix
