#!/usr/bin/env bash
# Packs the demo installer from scripts/demo.sh's inputs and compares its
# SHA-256 with the one pinned in demo/SaverkitDemoSetup.sha256. The win32
# build (no linker time stamp, no build paths) and the packer (no time, no
# random bytes) are deterministic, so a different checksum means that what
# the installer carries changed: after an intended change (installer, demo,
# encoder or packer code, or another toolchain than Debian 12's mingw-w64),
# run it with --update and commit the new checksum.
set -euo pipefail
cd "$(dirname "$0")/.."

pinned_file=demo/SaverkitDemoSetup.sha256
setup=${DEMO_DIR:-build/demo}/SaverkitDemoSetup.exe

env -u SOURCE_DATE_EPOCH scripts/demo.sh > "${DEMO_LOG:-/dev/null}"
actual=$(sha256sum "$setup" | cut -d' ' -f1)

if [[ ${1:-} == --update ]]; then
  echo "$actual  SaverkitDemoSetup.exe" > "$pinned_file"
  echo "pinned $actual in $pinned_file"
  exit 0
fi
pinned=$(cut -d' ' -f1 "$pinned_file")
if [[ $actual != "$pinned" ]]; then
  echo "check-demo-checksum.sh: $setup: SHA-256 $actual, pinned $pinned ($pinned_file;" \
       "run scripts/check-demo-checksum.sh --update after an intended change)" >&2
  exit 1
fi
echo "demo installer matches its pinned checksum $pinned"
