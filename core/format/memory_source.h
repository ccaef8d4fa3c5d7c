// An image held in memory as the random-access byte source of the walk to
// the manifest, the PE header lookups and SourceCursor: ReadAt copies exactly
// `size` bytes from `offset`, or fails when they do not all lie inside. (The
// decoder's sequential source of stored bytes is MemoryStoredSource, in
// core/codec/memory_streams.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace format {

class MemoryImageSource {
 public:
  MemoryImageSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit MemoryImageSource(const std::vector<std::uint8_t>& bytes)
      : MemoryImageSource(bytes.data(), bytes.size()) {}

  bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size > 0) std::memcpy(buffer, data_ + offset, size);
    return true;
  }
  std::uint64_t Size() const { return size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace format
