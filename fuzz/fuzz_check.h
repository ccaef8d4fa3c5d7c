// A check inside a fuzz target: on failure it names the broken property and
// aborts, which libFuzzer records as a crash with its input, and which fails
// the corpus replay. And what several targets share: writing the input to a
// file, and a sink that keeps what a decoder gives it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

struct VectorSink {
  std::vector<std::uint8_t> out;
  void Write(const std::uint8_t* bytes, std::size_t count) { out.insert(out.end(), bytes, bytes + count); }
  bool Failed() const { return false; }
};
