// Replays fuzz inputs without libFuzzer: each file named on the command line,
// or in a folder named there (sorted by name), goes once to the target. A
// crash or abort fails the test, and so does a replay that finds no input.
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

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code code;
    if (!fs::is_directory(argv[i], code)) inputs.push_back(argv[i]);
    const std::size_t first = inputs.size();
    for (const auto& entry : fs::directory_iterator(argv[i], code))
      if (entry.is_regular_file(code)) inputs.push_back(entry.path());
    std::sort(inputs.begin() + static_cast<std::ptrdiff_t>(first), inputs.end());
  }
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "replay: %s: cannot be read\n", input.string().c_str());
      return 1;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no inputs found\n");
    return 1;
  }
  std::printf("replay: %zu inputs, none failed\n", inputs.size());
  return 0;
}
