#!/usr/bin/env bash
# Builds everything and runs every test: the Windows programs (win32 preset),
# the tool, the stand-in and the tests on the host (host preset; the fuzz
# corpora are replayed there too), the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of each fuzz target. The host
# tests include installing the tool into a temporary prefix and packing from
# there, and signing with a throwaway certificate; the demo installer must
# match its pinned checksum.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset win32
cmake --build --preset win32

cmake --preset host
cmake --build --preset host
ctest --preset host -j"$(nproc)"

# The demo installer is byte for byte the one pinned.
scripts/check-demo-checksum.sh

cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j"$(nproc)"

# About 45 seconds per fuzz target; longer runs: scripts/fuzz.sh SECONDS.
scripts/fuzz.sh 45
