#pragma once

#include "tests/support/FuseFatMount.h"
#include "tests/support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace shardix::testing {

// A file system of `type` (btrfs, xfs, ext4, vfat) made in an image file in
// `folder` and mounted there through a loop device, in a mount namespace of the
// test program's own, so that no one else sees it. Unmounting frees the loop
// device (mount -o loop makes it clear itself); should the program die first,
// the namespace goes with it, and the mount and the device with that. A FAT
// image on a kernel without vfat is mounted through fusefat (FuseFatMount).
class LoopMount {
  public:
    LoopMount(const std::string& type, const TempDir& folder)
        : image_(folder / "image"), mountPoint_(folder / "mnt") {
        if (::geteuid() != 0) {
            refusal_ = "mounting a file system image needs root";
            lacking_ = true;
            return;
        }
        const std::string mkfs = "mkfs." + type;
        if (!succeeds("command -v " + mkfs)) {
            refusal_ = mkfs + " is not installed (Debian package " + packageOf(type) + ")";
            lacking_ = true;
            return;
        }
        const bool throughFuse = type == "vfat" && !kernelHas(type);
        if (throughFuse && !succeeds("command -v fusefat")) {
            refusal_ = "the kernel has no vfat, and fusefat is not installed (Debian package "
                       "fusefat)";
            lacking_ = true;
            return;
        }
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            refusal_ = std::string("no mount namespace of our own: ") + std::strerror(errno);
            return;
        }
        std::filesystem::create_directory(mountPoint_);
        writeFile(image_, "");
        std::filesystem::resize_file(image_, std::uintmax_t{320} << 20); // XFS's least is 300 MB
        if (!succeeds(mkfs + optionsOf(type) + " '" + image_ + "'")) {
            refusal_ = mkfs + " failed";
            return;
        }
        if (throughFuse) {
            fuse_ = std::make_unique<FuseFatMount>();
            refusal_ = fuse_->mount(image_, mountPoint_);
            return;
        }
        if (!succeeds("mount -o loop -t " + type + " '" + image_ + "' '" + mountPoint_ + "'")) {
            refusal_ = "cannot mount a " + type + " image here (mount -o loop failed)";
            return;
        }
        mounted_ = true;
    }
    ~LoopMount() {
        if (mounted_)
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;

    // Why there is no file system; empty when it is mounted.
    const std::string& refusal() const { return refusal_; }
    // Whether it is for want of root or of a tool, not of the system's support.
    bool lacking() const { return lacking_; }
    std::string operator/(const std::string& name) const { return mountPoint_ + "/" + name; }

  private:
    static bool succeeds(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }
    // Whether the running kernel has the file system `type` (loaded).
    static bool kernelHas(const std::string& type) {
        std::ifstream known("/proc/filesystems");
        for (std::string line; std::getline(known, line);)
            if (line.ends_with("\t" + type))
                return true;
        return false;
    }
    static std::string packageOf(const std::string& type) {
        if (type == "xfs")
            return "xfsprogs";
        if (type == "vfat")
            return "dosfstools";
        if (type == "ext4")
            return "e2fsprogs";
        return type + "-progs";
    }
    // XFS shares blocks only when made to; the others need no questions asked.
    static std::string optionsOf(const std::string& type) {
        if (type == "xfs")
            return " -q -f -m reflink=1";
        if (type == "btrfs")
            return " -q -f";
        if (type == "ext4")
            return " -q -F";
        return "";
    }

    std::string image_;
    std::string mountPoint_;
    std::string refusal_;
    bool lacking_ = false;
    bool mounted_ = false;
    std::unique_ptr<FuseFatMount> fuse_; // the FAT image's mount where the kernel has no vfat
};

} // namespace shardix::testing
