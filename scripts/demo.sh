#!/usr/bin/env bash
# Builds everything and packs the demo installer: the demo screen saver and
# UNINSTAL.EXE from the win32 build, the data file, a chime (WAV) and a
# melody (MIDI) that the host build generates, and a short licence, into
# build/demo/SaverkitDemoSetup.exe; then lists and tests it with saverkit,
# and previews its installation on a simulated Windows machine.
#
# With --wine it then also runs the demo installation under Wine (set up by
# scripts/wine/setup.sh), answering as the preview does, and leaves a
# picture of each window and what the run changed in build/demo/wine/.
#
# The build folders can be moved with HOST_BUILD_DIR, WIN32_BUILD_DIR and
# DEMO_DIR (defaults: build/host, build/win32, build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."

host_build=${HOST_BUILD_DIR:-build/host}
win32_build=${WIN32_BUILD_DIR:-build/win32}
demo_dir=${DEMO_DIR:-build/demo}
under_wine=0
for argument in "$@"; do
  case $argument in
    --wine) under_wine=1 ;;
    *) echo "usage: $0 [--wine]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh

cmake --preset win32 -B "$win32_build"
cmake --build "$win32_build"
cmake --preset host -B "$host_build"
cmake --build "$host_build"

setup="$demo_dir/SaverkitDemoSetup.exe"
scripts/pack-demo.sh "$host_build" "$win32_build" "$setup"

echo
"$host_build/saverkit" list "$setup"
echo
"$host_build/saverkit" test "$setup"
echo
"$host_build/saverkit" preview "$setup"
echo
echo "Demo installer: $setup"

if ((under_wine)); then
  scripts/wine/setup.sh
  python3 scripts/wine/winerun.py run --template "${SAVERKIT_WINE_DIR:-build/wine}/template" \
    --out "$demo_dir/wine" --like-preview "$host_build/saverkit" "$setup"
  echo "Pictures and result of the run under Wine: $demo_dir/wine"
fi
