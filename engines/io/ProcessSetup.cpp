#include "engines/io/ProcessSetup.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace shardix {

void prepareProcess() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1) {
            const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) // the lowest free number is fd itself
                ::close(opened);
        }
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace shardix
