#!/usr/bin/env bash
# Packs the demo installer from finished builds: the demo screen saver and
# UNINSTAL.EXE of the win32 build, the data file, a chime (WAV) and a melody
# (MIDI) that the host build generates, and a short licence. The demo's
# author is the project itself: publisher "Saverkit", the project's version
# (the win32 build's, which made the screen saver) and its home page (the
# one the Debian package names).
#
#   scripts/pack-demo.sh HOST_BUILD WIN32_BUILD OUT.exe [MORE PACK OPTIONS]...
#
# More options go to `saverkit pack` after the demo's own (another --media,
# for instance). The licence is written beside OUT.exe.
set -euo pipefail

if (($# < 3)); then
  echo "usage: $0 HOST_BUILD WIN32_BUILD OUT.exe [PACK OPTIONS]..." >&2
  exit 2
fi
host_build=$1 win32_build=$2 setup=$3
shift 3

# The title the win32 build gave the screen saver (<title>.scr); the screen
# saver finds its data file by its own name, so the installer must use it.
title=$(sed -n 's/^SAVERKIT_DEMO_TITLE:[A-Z]*=//p' "$win32_build/CMakeCache.txt")
if [[ -z $title ]]; then
  echo "pack-demo.sh: $win32_build/CMakeCache.txt names no SAVERKIT_DEMO_TITLE" >&2
  exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$win32_build/CMakeCache.txt")
if [[ -z $version ]]; then
  echo "pack-demo.sh: $win32_build/CMakeCache.txt names no CMAKE_PROJECT_VERSION" >&2
  exit 1
fi

mkdir -p "$(dirname "$setup")"
license="$(dirname "$setup")/licence.txt"
printf '%s\r\n' \
  "$title is a demonstration screen saver made with Saverkit." \
  "" \
  "You may install, use, copy and share it freely. It comes without any" \
  "warranty: use it at your own risk." \
  "" \
  "Choose Accept to install it, or Decline to leave your computer as it is." \
  > "$license"

files="$host_build/demo-files"
"$host_build/saverkit" pack --force -o "$setup" \
  --title "$title" \
  --stub "$win32_build/installer.exe" \
  --saver "$win32_build/$title.scr" \
  --data "$files/aurora.dat" \
  --uninstaller "$win32_build/UNINSTAL.EXE" \
  --media "$files/melody.mid" \
  --media "$files/chime.wav" \
  --number-base 23 \
  --license "$license" \
  --publisher "Saverkit" \
  --version "$version" \
  --url "https://example.com/saverkit" \
  "$@"
