#include "cli/ExistingOutput.h"

#include "errors/Quoted.h"

#include <sys/stat.h>

namespace shardix::cli {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

Error notReplaced(const std::string& path, const std::string& why) {
    return Error::of(ErrorKind::Refused, shardix::quoted(path) + " already exists" + why +
                                             "; not replaced (use --force to replace it).");
}

} // namespace shardix::cli
