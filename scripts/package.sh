#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package
# build/shardix_<version>_<arch>.deb with CPack. Run as root on Debian bookworm.
set -euo pipefail
cd "$(dirname "$0")/.."
# dpkg-shlibdeps (dpkg-dev) computes the dependencies; CPack finds the
# programs to scan with file.
bash scripts/install-missing.sh dpkg-dev file
bash scripts/setup.sh
cd build
rm -f shardix_*.deb
cpack -G DEB
