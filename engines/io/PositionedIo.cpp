#include "engines/io/PositionedIo.h"

#include <cerrno>
#include <unistd.h>

namespace shardix {

Result<std::size_t> readAt(const FileHandle& file, std::int64_t offset, void* buffer,
                           std::size_t length) {
    auto* at = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(file.fd(), at + done, length - done, offset + static_cast<std::int64_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno, "read", file.path());
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

Result<> writeAt(const FileHandle& file, std::int64_t offset, const void* bytes,
                 std::size_t length) {
    const auto* at = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t put =
            ::pwrite(file.fd(), at + done, length - done, offset + static_cast<std::int64_t>(done));
        if (put < 0 && errno == EINTR)
            continue;
        // Nothing written and no error: the device has no room (as write() does).
        if (put <= 0)
            return Error::fromErrno(put < 0 ? errno : ENOSPC, "write", file.path());
        done += static_cast<std::size_t>(put);
    }
    return {};
}

} // namespace shardix
