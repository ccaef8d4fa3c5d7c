// What the extraction reports back to the install sequence: the media types
// that did not play and the files that were not written whole.
#pragma once

#include <cstddef>

namespace installer {

constexpr std::size_t kUnsupportedTypesSize = 256;
constexpr std::size_t kFailedFilesSize = 768;

struct ExtractionResults {
  // Extensions of installed media files that the multimedia layer could not
  // open, each followed by CR LF, each at most once. Empty: everything plays.
  char UnsupportedTypes[kUnsupportedTypesSize] = "";
  // Set when an extension did not fit into UnsupportedTypes any more.
  bool unsupportedTypesOverflow = false;
  // Files that were not written whole (could not be created, data short or
  // outside the image, unsafe name, path too long): their paths, each
  // followed by CR LF. A path that no longer fits is counted in
  // failedFilesNotListed.
  char failedFiles[kFailedFilesSize] = "";
  unsigned failedFileCount = 0;
  unsigned failedFilesNotListed = 0;
  // The entry table could not be read: the image is damaged.
  bool damagedImage = false;
  // The title is refused by the title rule: nothing was written.
  bool titleRefused = false;

  // True when no media file failed the media check.
  bool AllMediaSupported() const;
  // Adds `extension` (".MID") to UnsupportedTypes unless the list already
  // contains that text anywhere (so ".MP" after ".MPG" is not added again).
  void ListUnsupportedType(const char* extension);
  void RecordFailedFile(const char* path);
};

}  // namespace installer
