// The two lists the extraction keeps.
#include "installer/extraction_results.h"

#include <cstring>

#include "core/text/bounded_text.h"

namespace installer {

using text::AppendText;

bool ExtractionResults::AllMediaSupported() const {
  return UnsupportedTypes[0] == '\0' && !unsupportedTypesOverflow;
}

void ExtractionResults::ListUnsupportedType(const char* extension) {
  if (std::strstr(UnsupportedTypes, extension) != nullptr) return;
  // Both parts or neither, so that the list stays one extension per line.
  const std::size_t used = std::strlen(UnsupportedTypes);
  if (used + std::strlen(extension) + 2 >= sizeof UnsupportedTypes) {
    unsupportedTypesOverflow = true;
    return;
  }
  AppendText(UnsupportedTypes, extension);
  AppendText(UnsupportedTypes, "\r\n");
}

void ExtractionResults::RecordFailedFile(const char* path) {
  ++failedFileCount;
  const std::size_t used = std::strlen(failedFiles);
  if (used + std::strlen(path) + 2 >= sizeof failedFiles) {
    ++failedFilesNotListed;
    return;
  }
  AppendText(failedFiles, path);
  AppendText(failedFiles, "\r\n");
}

}  // namespace installer
