#!/usr/bin/env bash
# Makes this machine run the installer's 32-bit Windows programs under Wine,
# and prepares the 32-bit Wine prefix that every run copies. Idempotent: each
# step checks first, so a second run costs a few seconds.
#
# The kernel here runs no 32-bit code, so Debian 12's 32-bit Wine runs under
# qemu-i386 user emulation (registered with binfmt_misc for i386 ELF files)
# beside the native 64-bit wineserver. Debian 12's qemu 7.2 mishandles
# MAP_FIXED_NOREPLACE and Wine's start-up then crawls, so the static
# qemu-i386 comes from the next release's qemu-user package, fetched with a
# private apt state so that the system's sources stay as they are.
#
# Output: the prepared prefix in $SAVERKIT_WINE_DIR/template (default
# build/wine/template). Everything else is machine-wide:
# /opt/saverkit-wine/qemu-i386 and the binfmt_misc entry "saverkit-i386".
set -euo pipefail
cd "$(dirname "$0")/../.."

wine_dir=${SAVERKIT_WINE_DIR:-build/wine}
qemu_dir=/opt/saverkit-wine
qemu=$qemu_dir/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
binfmt_name=saverkit-i386

say() { echo "wine setup: $*"; }
fail() { echo "wine setup: $*" >&2; exit 1; }

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# --- Debian packages: 32-bit Wine, the X libraries winex11.drv loads at run
# time (both architectures), the headless display and its tools.
x_libraries=(libxrender1 libxcursor1 libxi6 libxrandr2 libxinerama1 libxcomposite1
             libxfixes3 libxxf86vm1)
packages=(wine wine64 wine32:i386 fonts-wine xvfb xdotool x11-utils x11-apps python3
          "${x_libraries[@]}")
for library in "${x_libraries[@]}"; do packages+=("$library:i386"); done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -qq
fi
missing=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
if ((${#missing[@]})); then
  say "installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || fail "apt-get install ${missing[*]} failed"
fi

# --- qemu-i386 from the next release, with a private apt state.
if [[ ! -x $qemu ]]; then
  # The Debian archive apt already uses (never written into the repository).
  archive=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 2>/dev/null \
            | awk '$2 == "bookworm" || $2 == "bookworm-updates" { print $1; exit }')
  [[ -n $archive ]] || fail "apt names no Debian 12 archive to fetch qemu-user from"
  state=$(mktemp -d /tmp/saverkit-qemu-apt.XXXXXX)
  trap 'rm -rf "$state"' EXIT
  mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/etc/preferences.d"
  echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive trixie main" \
    > "$state/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=-"
               -o "Dir::State::Lists=$state/lists" -o "Dir::Cache::Archives=$state/archives"
               -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
               -o "Dir::State::status=/dev/null" -o "Dir::Etc::Preferences=/dev/null"
               -o "Dir::Etc::PreferencesParts=$state/etc/preferences.d"
               -o "APT::Architectures::=amd64" -o "Debug::NoLocking=1"
               -o "APT::Sandbox::User=root")
  say "fetching qemu-user from trixie ($archive)"
  apt-get "${apt_private[@]}" update -qq || fail "apt-get update of the private trixie state failed"
  (cd "$state/archives" && apt-get "${apt_private[@]}" download qemu-user >/dev/null) \
    || fail "apt-get download qemu-user (trixie) failed"
  deb=$(ls "$state"/archives/qemu-user_*.deb 2>/dev/null | head -n1)
  [[ -n $deb ]] || fail "no qemu-user package was downloaded"
  mkdir -p "$state/root"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$state/root" ./usr/bin/qemu-i386 \
    || fail "$deb holds no usr/bin/qemu-i386"
  "${sudo_cmd[@]}" mkdir -p "$qemu_dir"
  "${sudo_cmd[@]}" install -m 755 "$state/root/usr/bin/qemu-i386" "$qemu.new"
  "${sudo_cmd[@]}" mv -f "$qemu.new" "$qemu"
  rm -rf "$state"
  trap - EXIT
fi

# --- binfmt_misc: i386 ELF executables and shared objects go to qemu-i386.
# O: qemu gets the open file, P: keeps argv[0], F: the interpreter is opened
# now, so it works inside other mount namespaces too.
if [[ ! -e $binfmt/status ]]; then
  "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" \
    || fail "cannot mount binfmt_misc on $binfmt"
fi
if [[ ! -e $binfmt/$binfmt_name ]]; then
  # Ours or any other i386 handler (qemu-user-binfmt's) would both work,
  # but one that points at Debian 12's qemu crawls: ours goes first.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$binfmt_name:M::$magic:$mask:$qemu:OPF" | "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null \
    || fail "cannot register $qemu with binfmt_misc"
fi
/usr/lib/wine/wine --version >/dev/null 2>&1 \
  || fail "the 32-bit Wine does not start under qemu-i386 (/usr/lib/wine/wine --version)"

# --- The prepared 32-bit prefix.
template=$wine_dir/template
if [[ ! -f $template/.saverkit-ready ]]; then
  say "creating the 32-bit prefix $template"
  rm -rf "$template"
  mkdir -p "$wine_dir"
  python3 scripts/wine/winerun.py init "$template" || fail "creating the prefix $template failed"
  touch "$template/.saverkit-ready"
fi
say "ready ($template)"
