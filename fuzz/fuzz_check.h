// A check inside a fuzz target: on failure it names the broken property and
// aborts (a crash for libFuzzer, a failure for the corpus replay). And what
// several targets share: the input as a file, a folder's names, a sink.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

inline void WriteInputFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  file.close();
  FUZZ_CHECK(!file.fail());
}

using Names = std::set<std::string>;

// The names directly in `folder` (none when it does not exist).
inline Names NamesIn(const std::string& folder) {
  Names names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error))
    names.insert(item.path().filename().string());
  return names;
}

inline bool Within(const Names& names, const Names& allowed) {
  return std::includes(allowed.begin(), allowed.end(), names.begin(), names.end());
}

struct VectorSink {
  std::vector<std::uint8_t> out;
  void Write(const std::uint8_t* bytes, std::size_t count) { out.insert(out.end(), bytes, bytes + count); }
  bool Failed() const { return false; }
};
