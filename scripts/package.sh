#!/usr/bin/env bash
# Makes the Debian package of the saverkit tool, build/package/saverkit_<version>_<arch>.deb:
# the Linux tool, the Windows installer program and uninstaller it packs,
# the demo's files, the manual page, libsaverkit (library, headers, CMake
# package, saverkit.pc) and the Python module. Builds the win32 and host presets
# first (they are reused when up to date).
#
#   scripts/package.sh && sudo apt-get install ./build/package/saverkit_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset win32
cmake --build --preset win32
cmake --preset host
cmake --build --preset host

# CPack installs the host build (which takes the Windows programs from
# build/win32) into a staging folder and wraps it.
cpack -G DEB --config build/host/CPackConfig.cmake -B build/package
ls -l build/package/saverkit_*.deb
