// make_demo_media: writes the demo installer's generated files into a
// directory: aurora.dat (the screen saver's data file), chime.wav and
// melody.mid. Same bytes on every run; each file is written under a
// temporary name and renamed, so a failed run leaves no half-written file.
//
//   make_demo_media <output directory>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include <filesystem>

#include "demo/media/demo_media.h"

namespace {

bool WriteWhole(const std::filesystem::path& path, const void* data, std::size_t size) {
  const std::filesystem::path temporary = path.string() + ".tmp";
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "make_demo_media: %s: cannot create\n", temporary.string().c_str());
    return false;
  }
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "make_demo_media: %s: write failed\n", temporary.string().c_str());
    std::remove(temporary.string().c_str());
    return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::fprintf(stderr, "make_demo_media: %s: %s\n", path.string().c_str(), error.message().c_str());
    std::remove(temporary.string().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_media <output directory>\n");
    return 2;
  }
  const std::filesystem::path directory = argv[1];
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    std::fprintf(stderr, "make_demo_media: %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  const std::string data = media::MakeDemoDataFile();
  const std::vector<std::uint8_t> chime = media::MakeDemoChime();
  const std::vector<std::uint8_t> melody = media::MakeDemoMelody();
  const bool ok = WriteWhole(directory / "aurora.dat", data.data(), data.size()) &&
                  WriteWhole(directory / "chime.wav", chime.data(), chime.size()) &&
                  WriteWhole(directory / "melody.mid", melody.data(), melody.size());
  return ok ? 0 : 1;
}
