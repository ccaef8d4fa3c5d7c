// Writing a file so that it is either whole and checked or not there: the
// bytes go to a temporary name beside the destination, a check runs on that
// file, and only then is it renamed into place.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pack {

class OutputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes `bytes` to a temporary file beside `destination`, runs `check` on
// its path, and renames it to `destination`. An existing destination is
// replaced only when `replace` is set. On any failure (an exception from
// `check` included, which is passed on) the temporary file is removed and
// the destination is left as it was. Throws OutputFileError for a refusal
// or a failed write or rename.
void WriteCheckedFile(const std::string& destination, const std::vector<std::uint8_t>& bytes, bool replace,
                      const std::function<void(const std::string& temporaryPath)>& check);

}  // namespace pack
