#!/usr/bin/env bash
# Installs the build into a temporary prefix and packs the shipped demo with
# the installed saverkit from a temporary folder, with no --stub or
# --uninstaller: the result, with the installed UNINSTAL.EXE, tests clean.
#
#   installed_tool_test.sh BUILD_DIR WIN32_BUILD_DIR DEMO_TITLE
set -euo pipefail
build=$1 win32=$2 title=$3

if [[ ! -f $win32/installer.exe || ! -f $win32/UNINSTAL.EXE ]]; then
  echo "no win32 build in $win32: skipped"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/some/prefix
# Under a umask that would make folders group-writable, they stay 0755.
(umask 002 && cmake --install "$build" --prefix "$prefix" > "$scratch/install.log")
loose=$(find "$prefix" -type d -perm /022 | head -n 1)
[[ -z $loose ]] || { echo "installed folder writable by others: $loose"; exit 1; }

for file in bin/saverkit share/saverkit/installer.exe share/saverkit/UNINSTAL.EXE \
            "share/saverkit/demo/$title.scr" share/man/man1/saverkit.1.gz; do
  [[ -f $prefix/$file ]] || { echo "not installed: $file"; exit 1; }
done
cmp "$prefix/share/saverkit/installer.exe" "$win32/installer.exe"

mkdir "$scratch/work"
cd "$scratch/work"
demo=$prefix/share/saverkit/demo
"$prefix/bin/saverkit" pack -o Setup.exe --title "$title" \
  --saver "$demo/$title.scr" --data "$demo/aurora.dat" \
  --media "$demo/melody.mid" --media "$demo/chime.wav" --number-base 23
"$prefix/bin/saverkit" list Setup.exe | grep -q 'UNINSTAL.EXE'
"$prefix/bin/saverkit" test Setup.exe

# The installed uninstaller went in: extract it and compare.
"$prefix/bin/saverkit" extract Setup.exe -d out > /dev/null
cmp "$(find out -name UNINSTAL.EXE)" "$prefix/share/saverkit/UNINSTAL.EXE"
echo "installed tool packed, listed and tested $scratch/work/Setup.exe"
