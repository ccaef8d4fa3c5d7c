// Writing a compressed entry's bits, most significant bit of each byte first.
#pragma once

#include <cstdint>
#include <vector>

namespace codec {

class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  // Appends the low `length` bits of `bits` (length <= 32), highest first.
  void Put(std::uint32_t bits, unsigned length) {
    pending_ = (pending_ << length) | (bits & ((std::uint64_t{1} << length) - 1));
    count_ += length;
    while (count_ >= 8) {
      count_ -= 8;
      out_.push_back(static_cast<std::uint8_t>(pending_ >> count_));
    }
  }

  // Pads the last byte with zero bits, which is also what a decoder reads
  // beyond the stream's end.
  void Finish() {
    if (count_ > 0) {
      out_.push_back(static_cast<std::uint8_t>(pending_ << (8 - count_)));
      count_ = 0;
    }
  }

  std::uint64_t BitsWritten() const { return out_.size() * 8u + count_; }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t pending_ = 0;  // the low count_ bits are not yet written
  unsigned count_ = 0;
};

}  // namespace codec
