#!/usr/bin/env bash
# Installs the Debian packages that building and testing Saverkit needs,
# only those that are missing, so that it is cheap to run every time.
set -euo pipefail

packages=(
  cmake ninja-build g++ file
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  osslsigncode openssl  # saverkit pack --sign, and its tests
  dpkg-dev              # the Debian package's dependencies (dpkg-shlibdeps)
  clang libclang-rt-dev  # the fuzz targets
  python3-jsonschema python3-yaml  # the winget manifest checked by winget's schemas
  pybind11-dev python3-dev python3-pytest pkg-config  # the Python module, its tests, the installed library checked with pkg-config
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
