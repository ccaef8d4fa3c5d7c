#!/usr/bin/env bash
# Builds everything and packs the demo installer: the demo screen saver and
# UNINSTAL.EXE from the win32 build, the data file, a chime (WAV) and a
# melody (MIDI) that the host build generates, and a short licence, into
# build/demo/SaverkitDemoSetup.exe; then lists and tests it with saverkit,
# and previews its installation on a simulated Windows machine.
#
# The build folders can be moved with HOST_BUILD_DIR, WIN32_BUILD_DIR and
# DEMO_DIR (defaults: build/host, build/win32, build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."

host_build=${HOST_BUILD_DIR:-build/host}
win32_build=${WIN32_BUILD_DIR:-build/win32}
demo_dir=${DEMO_DIR:-build/demo}

scripts/install-deps.sh

cmake --preset win32 -B "$win32_build"
cmake --build "$win32_build"
cmake --preset host -B "$host_build"
cmake --build "$host_build"

# The title the win32 build gave the screen saver (<title>.scr); the screen
# saver finds its data file by its own name, so the installer must use it.
title=$(sed -n 's/^SAVERKIT_DEMO_TITLE:[A-Z]*=//p' "$win32_build/CMakeCache.txt")
if [[ -z $title ]]; then
  echo "demo.sh: $win32_build/CMakeCache.txt names no SAVERKIT_DEMO_TITLE" >&2
  exit 1
fi

mkdir -p "$demo_dir"
license="$demo_dir/licence.txt"
printf '%s\r\n' \
  "$title is a demonstration screen saver made with Saverkit." \
  "" \
  "You may install, use, copy and share it freely. It comes without any" \
  "warranty: use it at your own risk." \
  "" \
  "Choose Accept to install it, or Decline to leave your computer as it is." \
  > "$license"

files="$host_build/demo-files"
setup="$demo_dir/SaverkitDemoSetup.exe"
"$host_build/saverkit" pack --force -o "$setup" \
  --title "$title" \
  --stub "$win32_build/installer.exe" \
  --saver "$win32_build/$title.scr" \
  --data "$files/aurora.dat" \
  --uninstaller "$win32_build/UNINSTAL.EXE" \
  --media "$files/melody.mid" \
  --media "$files/chime.wav" \
  --number-base 23 \
  --license "$license"

echo
"$host_build/saverkit" list "$setup"
echo
"$host_build/saverkit" test "$setup"
echo
"$host_build/saverkit" preview "$setup"
echo
echo "Demo installer: $setup"
