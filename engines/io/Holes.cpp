#include "engines/io/Holes.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace shardix {

namespace {

// Where the first byte of data at or after `from` lies: nothing when there is
// none up to the end of `file`; `from` itself when the file system cannot tell.
std::optional<off_t> dataFrom(const FileHandle& file, std::int64_t from) {
    const off_t at = ::lseek(file.fd(), from, SEEK_DATA);
    if (at >= 0)
        return at;
    if (errno == ENXIO)
        return std::nullopt;
    return from;
}

// Where the hole after the data at `from` starts; `end` when that cannot be told.
std::int64_t holeFrom(const FileHandle& file, std::int64_t from, std::int64_t end) {
    const off_t at = ::lseek(file.fd(), from, SEEK_HOLE);
    return at < 0 ? end : std::min<std::int64_t>(at, end);
}

// A file that ends before `end` has lost bytes since it was measured.
Result<> endsBefore(const FileHandle& file, std::int64_t end) {
    struct stat st {};
    if (::fstat(file.fd(), &st) == 0 && st.st_size < end)
        return shortInput(file);
    return {};
}

} // namespace

Result<std::optional<DataRun>> nextData(const FileHandle& file, std::int64_t from,
                                        std::int64_t end) {
    if (from >= end)
        return std::optional<DataRun>();
    const std::optional<off_t> data = dataFrom(file, from);
    if (!data || *data >= end) {
        if (Result<> shrunk = endsBefore(file, end); !shrunk.ok())
            return shrunk.error();
        return std::optional<DataRun>();
    }
    const std::int64_t hole = holeFrom(file, *data, end);
    if (hole <= *data) // the file system contradicts itself: take the rest as data
        return std::optional(DataRun{*data, end - *data});
    return std::optional(DataRun{*data, hole - *data});
}

Result<std::int64_t> dataBytes(const FileHandle& file, std::int64_t offset, std::int64_t length) {
    std::int64_t bytes = 0;
    const std::int64_t end = offset + length;
    for (std::int64_t from = offset;;) {
        const Result<std::optional<DataRun>> run = nextData(file, from, end);
        if (!run.ok())
            return run.error();
        if (!*run)
            return bytes;
        bytes += (*run)->length;
        from = (*run)->offset + (*run)->length;
    }
}

Result<DataRun> withoutZeroEnds(const FileHandle& file, DataRun run, std::int64_t edge) {
    std::vector<char> bytes(static_cast<std::size_t>(std::min(run.length, edge)));
    const auto size = static_cast<std::int64_t>(bytes.size());
    if (Result<> read = readExactly(file, run.offset, bytes.data(), size); !read.ok())
        return read.error();
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](char c) { return c != 0; });
    const auto zeros = static_cast<std::int64_t>(first - bytes.begin());
    if (zeros == run.length)
        return DataRun{run.offset + run.length, 0};
    run.offset += zeros;
    run.length -= zeros;
    const std::int64_t tail = std::min(run.length, size);
    if (Result<> read = readExactly(file, run.offset + run.length - tail, bytes.data(), tail);
        !read.ok())
        return read.error();
    const auto last =
        std::find_if(bytes.rbegin() + (size - tail), bytes.rend(), [](char c) { return c != 0; });
    run.length -= static_cast<std::int64_t>(last - (bytes.rbegin() + (size - tail)));
    return run;
}

bool mayLeaveHoles(const FileHandle& out) {
    struct stat st {};
    if (::fstat(out.fd(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int flags = ::fcntl(out.fd(), F_GETFL);
    if (flags < 0 || (flags & O_APPEND) != 0)
        return false;
    if (::lseek(out.fd(), 0, SEEK_CUR) != st.st_size)
        return false;
    const off_t probe = st.st_blksize > 0 ? st.st_blksize : 4096;
    return ::fallocate(out.fd(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, st.st_size, probe) ==
           0;
}

} // namespace shardix
