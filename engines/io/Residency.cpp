#include "engines/io/Residency.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace shardix {

namespace {

// The file is looked at a window at a time, so that the table of pages stays
// small whatever the length.
constexpr std::int64_t kWindow = std::int64_t{1} << 30;

bool windowResident(int fd, std::int64_t offset, std::int64_t length, std::int64_t page) {
    const std::int64_t start = offset / page * page;
    const auto span = static_cast<std::size_t>(offset + length - start);
    void* mapped = ::mmap(nullptr, span, PROT_READ, MAP_SHARED, fd, start);
    if (mapped == MAP_FAILED)
        return false;
    std::vector<unsigned char> pages((span + static_cast<std::size_t>(page) - 1) /
                                     static_cast<std::size_t>(page));
    const bool told = ::mincore(mapped, span, pages.data()) == 0;
    ::munmap(mapped, span);
    return told && std::all_of(pages.begin(), pages.end(),
                               [](unsigned char state) { return (state & 1) != 0; });
}

} // namespace

bool isResident(int fd, std::int64_t offset, std::int64_t length) {
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0 || offset < 0 || length < 0)
        return false;
    for (std::int64_t at = offset; at < offset + length; at += kWindow) {
        if (!windowResident(fd, at, std::min(kWindow, offset + length - at), page))
            return false;
    }
    return true;
}

} // namespace shardix
