#!/usr/bin/env bash
# Packs the demo installer from scripts/demo.sh's inputs and compares its
# SHA-256 with the one pinned in demo/SaverkitDemoSetup.sha256. The win32
# build (no linker time stamp, no build paths) and the packer (no time, no
# random bytes) are deterministic, so a different checksum means that what
# the installer carries changed: after an intended change (installer, demo,
# encoder or packer code, or another toolchain than Debian 12's mingw-w64),
# run it with --update and commit the new checksum.
#
# The same holds for the win32 build's UNINSTAL.EXE, whose release digest
# (SHA-256 with the PE CheckSum and the certificate table's directory entry
# read as zero, which signing alone changes) is pinned in
# demo/UninstallerRelease.sha256: saverkit verify recognises our uninstaller
# by it. Rebuild the host tool after an update: the digest is compiled in.
set -euo pipefail
cd "$(dirname "$0")/.."

pinned_file=demo/SaverkitDemoSetup.sha256
setup=${DEMO_DIR:-build/demo}/SaverkitDemoSetup.exe
uninstaller_pin=demo/UninstallerRelease.sha256
uninstaller=${WIN32_BUILD_DIR:-build/win32}/UNINSTAL.EXE

env -u SOURCE_DATE_EPOCH scripts/demo.sh > "${DEMO_LOG:-/dev/null}"
actual=$(sha256sum "$setup" | cut -d' ' -f1)
# An unsigned build: nothing to cut, the two fields zeroed.
release_digest=$(python3 - "$uninstaller" <<'PY'
import hashlib, struct, sys
pe = bytearray(open(sys.argv[1], 'rb').read())
optional = struct.unpack_from('<I', pe, 0x3C)[0] + 4 + 20
pe[optional + 64:optional + 68] = bytes(4)            # CheckSum
pe[optional + 96 + 4 * 8:optional + 96 + 5 * 8] = bytes(8)  # data directory 4
print(hashlib.sha256(pe).hexdigest())
PY
)

if [[ ${1:-} == --update ]]; then
  echo "$actual  SaverkitDemoSetup.exe" > "$pinned_file"
  echo "$release_digest  UNINSTAL.EXE (CheckSum and certificate entry as zero)" > "$uninstaller_pin"
  echo "pinned $actual in $pinned_file and $release_digest in $uninstaller_pin"
  exit 0
fi
pinned=$(cut -d' ' -f1 "$pinned_file")
if [[ $actual != "$pinned" ]]; then
  echo "check-demo-checksum.sh: $setup: SHA-256 $actual, pinned $pinned ($pinned_file;" \
       "run scripts/check-demo-checksum.sh --update after an intended change)" >&2
  exit 1
fi
pinned_uninstaller=$(cut -d' ' -f1 "$uninstaller_pin")
if [[ $release_digest != "$pinned_uninstaller" ]]; then
  echo "check-demo-checksum.sh: $uninstaller: release digest $release_digest, pinned $pinned_uninstaller" \
       "($uninstaller_pin; run scripts/check-demo-checksum.sh --update after an intended change)" >&2
  exit 1
fi
echo "demo installer matches its pinned checksum $pinned, UNINSTAL.EXE its release digest $pinned_uninstaller"
