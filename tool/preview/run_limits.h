// How large an image preview and verify run in the stand-in. It works
// through the host's file system, a few milliseconds per file installed
// (and as much again uninstalled), so a table of thousands would run for
// minutes; Saverkit's own images install at most
// format::kMostUninstalledFiles.
#pragma once

#include <cstddef>
#include <string>

namespace preview {

constexpr std::size_t kMostEntriesRun = 512;

// Why an image of `entries` entries is not run; empty when it is.
inline std::string TooManyEntriesToRun(std::size_t entries) {
  if (entries <= kMostEntriesRun) return std::string();
  return "the image declares " + std::to_string(entries) + " entries; preview and verify run images of at most " +
         std::to_string(kMostEntriesRun) + " in the stand-in";
}

}  // namespace preview
