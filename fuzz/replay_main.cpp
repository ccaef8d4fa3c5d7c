// Replays fuzz inputs without libFuzzer: every file named on the command line,
// or found (sorted by name) in a folder named there, is handed once to the
// target's LLVMFuzzerTestOneInput. A target that crashes or aborts on an
// input fails the test; a replay that finds no input at all fails too, so a
// missing corpus cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& path) {
  std::error_code code;
  if (!fs::is_directory(path, code)) return {path};
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(path, code))
    if (entry.is_regular_file(code)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& input : InputsOf(argv[i])) {
      std::ifstream in(input, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "replay: %s: cannot be read\n", input.string().c_str());
        return 1;
      }
      const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++replayed;
    }
  }
  if (replayed == 0) {
    std::fprintf(stderr, "replay: no inputs found\n");
    return 1;
  }
  std::printf("replay: %zu inputs, none failed\n", replayed);
  return 0;
}
