#pragma once

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace shardix::testing {

// A FAT image mounted through fusefat (FUSE), for a kernel without vfat.
// fusefat runs in the foreground as a child of the test program, in the
// program's mount namespace, and is told to end when the program ends
// (PR_SET_PDEATHSIG), so that neither it nor its mount outlives the test.
// Going, it unmounts what it mounted and ends that child, by its id.
class FuseFatMount {
  public:
    FuseFatMount() = default;
    FuseFatMount(const FuseFatMount&) = delete;
    FuseFatMount& operator=(const FuseFatMount&) = delete;
    ~FuseFatMount() {
        if (child_ <= 0)
            return;
        if (mounted_)
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        ::kill(child_, SIGTERM);
        ::waitpid(child_, nullptr, 0);
    }

    // Mounts `image` at `mountPoint`, read and write; empty, or why it cannot.
    std::string mount(const std::string& image, const std::string& mountPoint) {
        if (::access("/dev/fuse", R_OK | W_OK) != 0)
            return "no FUSE here (/dev/fuse): " + std::string(std::strerror(errno));
        std::vector<std::string> words{"fusefat", "-f", "-o", "rw+", image, mountPoint};
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();
        child_ = ::fork();
        if (child_ < 0)
            return "cannot start fusefat: " + std::string(std::strerror(errno));
        if (child_ == 0)
            runFusefat(parent, argv.data());
        mountPoint_ = mountPoint;
        for (int waited = 0; waited < 200; ++waited) { // up to 10 s
            struct statfs fs {};
            if (::statfs(mountPoint.c_str(), &fs) == 0 && fs.f_type == kFuseMagic) {
                mounted_ = true;
                return "";
            }
            if (::waitpid(child_, nullptr, WNOHANG) == child_) {
                child_ = -1;
                return "fusefat could not mount the FAT image";
            }
            ::usleep(50'000);
        }
        return "fusefat did not mount the FAT image within 10 seconds";
    }

  private:
    static constexpr long kFuseMagic = 0x65735546; // statfs's f_type of a FUSE mount

    // In the child: ends with the test program, quiet, and becomes fusefat.
    [[noreturn]] static void runFusefat(pid_t parent, char* const* argv) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) // the program ended before it could be told
            ::_exit(1);
        const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(quiet, STDOUT_FILENO); // it tells of the volume it mounted
        ::dup2(quiet, STDERR_FILENO);
        ::execvp(argv[0], argv);
        ::_exit(127);
    }

    pid_t child_ = -1;
    std::string mountPoint_;
    bool mounted_ = false;
};

} // namespace shardix::testing
