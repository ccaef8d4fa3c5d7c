// A forward cursor over a byte source, as the manifest readers take it
// (Read exactly `size` bytes, Skip ahead). The source gives
//   bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size)
//   std::uint64_t Size()
// the tool's image file and the fuzzers' bytes in memory alike.
#pragma once

#include <cstdint>

namespace format {

template <class Source>
class SourceCursor {
 public:
  SourceCursor(Source& source, std::uint64_t offset) : source_(source), offset_(offset) {}
  bool Read(void* buffer, std::uint32_t size) {
    if (!source_.ReadAt(offset_, buffer, size)) return false;
    offset_ += size;
    return true;
  }
  bool Skip(std::uint32_t size) {
    offset_ += size;
    return offset_ <= source_.Size();
  }
  std::uint64_t offset() const { return offset_; }

 private:
  Source& source_;
  std::uint64_t offset_;
};

}  // namespace format
