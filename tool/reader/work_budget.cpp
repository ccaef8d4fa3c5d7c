// The work budget of one test or extract run (see work_budget.h).
#include "tool/reader/work_budget.h"

namespace reader {

namespace {

// "26543104" -> "26,543,104".
std::string Grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

WorkBudget::WorkBudget(std::uint64_t imageSize, std::uint64_t allowance)
    : imageSize_(imageSize), allowance_(allowance) {
  constexpr std::uint64_t kMost = ~std::uint64_t{0};
  // A file of more than 2^59 bytes could not be charged in 64 bits: no limit then.
  limit_ = imageSize > (kMost - allowance) / codec::kLargestExpansion
               ? kMost
               : imageSize * codec::kLargestExpansion + allowance;
}

ImageError WorkBudget::Failure() const {
  return ImageError("", "stopped after " + Grouped(spent_) + " bytes decoded or copied, more than " +
                            std::to_string(codec::kLargestExpansion) + " per byte of this " +
                            Grouped(imageSize_) + "-byte image plus " + Grouped(allowance_) +
                            " can honestly yield: its entries reuse the same stored data");
}

}  // namespace reader
