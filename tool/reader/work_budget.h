// How much work one run of `saverkit test` or `extract` may do on an image:
// every byte it decodes or copies is charged against one budget of
// codec::kLargestExpansion bytes per byte of the image file, plus a fixed
// allowance. An image whose entries each have stored bytes of their own can
// never pass it: no entry yields more than kLargestExpansion bytes per
// stored byte, and its stored bytes lie in the file. Entries that share
// stored data are legal (the installer installs them), but the same bytes
// decoded again and again are work the image does not pay for; the run
// stops when the budget is spent.
#pragma once

#include <cstdint>
#include <string>

#include "core/codec/decoder_core.h"
#include "tool/reader/image_file.h"

namespace reader {

class WorkBudget {
 public:
  // Covers the licence and the odd small entry whose few stored bytes do
  // not say much, at a cost well under a second.
  static constexpr std::uint64_t kAllowance = std::uint64_t{4} << 20;

  // `allowance` other than kAllowance only in tests, to keep them small.
  explicit WorkBudget(std::uint64_t imageSize, std::uint64_t allowance = kAllowance);

  // Adds `bytes` of work; false once the total has passed the limit.
  bool Charge(std::uint64_t bytes) {
    spent_ += bytes;
    return !Exhausted();
  }
  bool Exhausted() const { return spent_ > limit_; }
  std::uint64_t limit() const { return limit_; }

  // The failure that ends the command once the budget is spent (exit
  // status 1), in one line.
  ImageError Failure() const;

 private:
  std::uint64_t imageSize_;
  std::uint64_t allowance_;
  std::uint64_t limit_;
  std::uint64_t spent_ = 0;
};

}  // namespace reader
