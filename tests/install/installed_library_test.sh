#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a consumer of
# libsaverkit with find_package(Saverkit) and with pkg-config: it packs the
# installed demo and reads the image back from memory, which the installed
# Python module identifies. Skipped (77) without a win32 build to install.
#
#   installed_library_test.sh BUILD_DIR WIN32_BUILD_DIR DEMO_TITLE PYTHON
set -euo pipefail
build=$1 win32=$2 title=$3 python=$4

if [[ ! -f $win32/installer.exe || ! -f $win32/UNINSTAL.EXE ]]; then
  echo "no win32 build in $win32: skipped"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" > "$scratch/install.log"

mkdir "$scratch/consumer"
cat > "$scratch/consumer/consumer.cpp" <<'CPP'
// Packs the demo given on the command line and lists the packed image.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <saverkit/saverkit.h>

static saverkit::PackFile Input(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {path, std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())};
}

int main(int argc, char** argv) {
  if (argc != 7) return 2;
  saverkit::PackRequest request;
  request.title = argv[2];
  request.saver = Input(argv[3]);
  request.data = Input(argv[4]);
  request.uninstaller = Input(argv[5]);
  request.media = {Input(argv[6])};
  try {
    const saverkit::PackedImage packed = saverkit::Pack(request, argv[1]);
    const saverkit::Image image = saverkit::Image::OpenMemory(packed.bytes);
    saverkit::EntryReader reader(image);
    for (const saverkit::Entry& entry : image.entries()) {
      const std::vector<std::uint8_t> bytes = reader.Read(entry.position, entry.size);
      std::printf("%s %s %zu\n", saverkit::RoleName(entry.role), entry.path.c_str(), bytes.size());
    }
    std::ofstream("packed.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(packed.bytes.data()), static_cast<std::streamsize>(packed.bytes.size()));
  } catch (const saverkit::Error& error) {
    std::fprintf(stderr, "%s: %s\n", error.file().c_str(), error.what());
    return 1;
  }
  return 0;
}
CPP
cat > "$scratch/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer CXX)
find_package(Saverkit 0.1 REQUIRED)
add_executable(consumer consumer.cpp)
target_link_libraries(consumer PRIVATE Saverkit::saverkit)
CMAKE

demo=$prefix/share/saverkit/demo
run() {  # run CONSUMER: packs the demo and prints each entry
  (cd "$scratch" && "$1" "$prefix/share/saverkit/installer.exe" "$title" "$demo/$title.scr" "$demo/aurora.dat" \
     "$prefix/share/saverkit/UNINSTAL.EXE" "$demo/melody.mid")
}

cmake -S "$scratch/consumer" -B "$scratch/with-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > "$scratch/cmake.log"
cmake --build "$scratch/with-cmake" > "$scratch/build.log"
run "$scratch/with-cmake/consumer" > "$scratch/cmake.out"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
g++ -std=c++17 -o "$scratch/with-pkg-config" "$scratch/consumer/consumer.cpp" $(pkg-config --cflags --libs saverkit)
LD_LIBRARY_PATH=$prefix/lib run "$scratch/with-pkg-config" > "$scratch/pkg-config.out"

cmp "$scratch/cmake.out" "$scratch/pkg-config.out"
grep -q "^saver $title.scr $(stat -c %s "$demo/$title.scr")\$" "$scratch/cmake.out" ||
  { echo "the packed saver did not read back whole:"; cat "$scratch/cmake.out"; exit 1; }
[[ $(wc -l < "$scratch/cmake.out") -eq 4 ]]
"$prefix/bin/saverkit" test "$scratch/packed.exe" > /dev/null

PYTHONPATH=$prefix/lib/python3/dist-packages "$python" - "$scratch/packed.exe" "$title" <<'PY'
import sys
import saverkit
found = saverkit.identify(sys.argv[1])
assert found["kind"] == "installer" and found["title"] == sys.argv[2], found
assert found["entries"] == 4, found
PY
echo "a consumer built with find_package(Saverkit) and with pkg-config packed and read $scratch/packed.exe"
