#!/usr/bin/env bash
# Builds everything and runs every test: the Windows programs (win32 preset),
# the tool, the stand-in and the tests on the host (host preset; the fuzz
# corpora are replayed there too), the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of each fuzz target. The host
# tests include installing the tool into a temporary prefix and packing from
# there, and signing with a throwaway certificate; the demo installer must
# match its pinned checksum. Last, the real Windows programs under Wine
# (label "wine"; scripts/wine/setup.sh sets Wine up first);
# SAVERKIT_SKIP_WINE=1 leaves the Wine part out.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset win32
cmake --build --preset win32

cmake --preset host
cmake --build --preset host
ctest --preset host -LE wine -j"$(nproc)"

# The demo installer is byte for byte the one pinned.
scripts/check-demo-checksum.sh

cmake --preset asan
cmake --build --preset asan
ctest --preset asan -LE wine -j"$(nproc)"

if [[ ${SAVERKIT_SKIP_WINE:-} == 1 ]]; then
  echo "Wine tests skipped (SAVERKIT_SKIP_WINE=1)"
else
  scripts/wine/setup.sh
  # Each scenario has its own display and prefix; two at a time suit two cores.
  ctest --preset host -L wine -j2
fi

# About 30 seconds per fuzz target (a smoke run: ctest replays every corpus);
# longer runs: scripts/fuzz.sh SECONDS.
scripts/fuzz.sh 30
