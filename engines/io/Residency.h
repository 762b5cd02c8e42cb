#pragma once

#include <cstdint>

namespace shardix {

// Whether every page of the `length` bytes of the open file `fd` from
// `offset` on is in memory (the page cache), so that reading them again costs
// no disk read. False when the system cannot tell.
bool isResident(int fd, std::int64_t offset, std::int64_t length);

} // namespace shardix
