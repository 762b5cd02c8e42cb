#!/usr/bin/env bash
# Installs the Debian packages Shardix! needs (only those missing) and builds
# everything into build/. Arguments go to CMake (scripts/test.sh passes
# -DSHARDIX_WERROR=ON). Run as root on Debian bookworm.
set -euo pipefail
cd "$(dirname "$0")/.."

# btrfs-progs, xfsprogs and dosfstools make the Btrfs, XFS and FAT images of
# tests/operations/SharedExtentsTest.cpp, tests/operations/SparseFilesTest.cpp and
# bench/loopfs.sh; fusefat mounts the FAT image where the kernel has no vfat.
bash scripts/install-missing.sh g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev libgl-dev \
    libsqlcipher-dev sqlcipher libssl-dev libcli11-dev libgtest-dev libgmock-dev xvfb xauth time \
    help2man dpkg-dev zlib1g-dev coreutils dash cksfv shellcheck btrfs-progs xfsprogs dosfstools \
    fusefat bash-completion libgf-complete-dev par2

# Compiled and linked as Debian builds its packages, with the hardening flags
# of dpkg-buildflags: stack protector, fortified functions, read-only
# relocations bound at start (relro, bindnow) and position-independent code.
# The tests run on what the package ships. Given on every configuration, so
# that a build folder made before gets them too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
compile="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
link=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$compile" \
    -DCMAKE_EXE_LINKER_FLAGS="$link" -DCMAKE_SHARED_LINKER_FLAGS="$link" \
    -DCMAKE_MODULE_LINKER_FLAGS="$link" "$@"
cmake --build build -j"$(nproc)"
