#include "cli/StandardOutput.h"

#include "errors/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace shardix::cli {

bool isStandardOutput(const std::string& target) {
    return target == "-";
}

Result<FileHandle> openStandardOutput() {
    if (::isatty(STDOUT_FILENO) == 1)
        return Error::refusedName("Standard output is a terminal, where the joined bytes would "
                                  "only scroll by: send them to a file or a pipe (> FILE, | "
                                  "COMMAND), or name the file to write.");
    const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (fd < 0)
        return Error::fromErrno(errno, "write", "standard output");
    return FileHandle(fd, "standard output");
}

} // namespace shardix::cli
