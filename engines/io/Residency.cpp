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

// The pages of the window in memory, and in all.
struct PageCount {
    std::int64_t resident = 0;
    std::int64_t total = 0;
};

bool countWindow(int fd, std::int64_t offset, std::int64_t length, std::int64_t page,
                 PageCount& count) {
    const std::int64_t start = offset / page * page;
    const auto span = static_cast<std::size_t>(offset + length - start);
    void* mapped = ::mmap(nullptr, span, PROT_READ, MAP_SHARED, fd, start);
    if (mapped == MAP_FAILED)
        return false;
    std::vector<unsigned char> pages((span + static_cast<std::size_t>(page) - 1) /
                                     static_cast<std::size_t>(page));
    const bool told = ::mincore(mapped, span, pages.data()) == 0;
    ::munmap(mapped, span);
    count.total += static_cast<std::int64_t>(pages.size());
    count.resident += std::count_if(pages.begin(), pages.end(),
                                    [](unsigned char state) { return (state & 1) != 0; });
    return told;
}

} // namespace

bool isResident(int fd, std::int64_t offset, std::int64_t length) {
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0 || offset < 0 || length < 0)
        return false;
    PageCount count;
    for (std::int64_t at = offset; at < offset + length; at += kWindow) {
        if (!countWindow(fd, at, std::min(kWindow, offset + length - at), page, count))
            return false;
    }
    return count.resident * 16 >= count.total * 15;
}

} // namespace shardix
