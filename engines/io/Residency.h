#pragma once

#include <cstdint>

namespace shardix {

// Whether the `length` bytes of the open file `fd` from `offset` on are in
// memory (the page cache), so that reading them costs (almost) no disk read:
// all of their pages but at most one in 16, since the system may take back a
// few pages of a file just written or read at any time. False when the
// system cannot tell.
bool isResident(int fd, std::int64_t offset, std::int64_t length);

} // namespace shardix
