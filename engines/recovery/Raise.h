#pragma once

#include "errors/Result.h"

namespace shardix::par2 {

// Inside the engine failures are thrown (as Failed, see errors/Error.h) and
// its interface returns them through guarded(); the files it uses (engines/io)
// return theirs, which are raised here.
inline void raiseOnFailure(const Result<>& result) {
    if (!result.ok())
        fail(result.error());
}

} // namespace shardix::par2
