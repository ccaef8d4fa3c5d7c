// The two lists the extraction keeps.
#include "installer/extraction_results.h"

#include <cstring>

#include "core/text/bounded_text.h"

bool ExtractionResults::AllMediaSupported() const {
  return UnsupportedTypes[0] == '\0' && !UnsupportedTypesOverflow;
}

void ExtractionResults::ListUnsupportedType(const char* extension) {
  if (std::strstr(UnsupportedTypes, extension) != nullptr) return;
  // Both parts or neither, so that the list stays one extension per line.
  const std::size_t used = std::strlen(UnsupportedTypes);
  if (used + std::strlen(extension) + 2 >= sizeof UnsupportedTypes) {
    UnsupportedTypesOverflow = true;
    return;
  }
  AppendText(UnsupportedTypes, extension);
  AppendText(UnsupportedTypes, "\r\n");
}

void ExtractionResults::RecordFailedFile(const char* path) {
  ++FailedFileCount;
  const std::size_t used = std::strlen(FailedFiles);
  if (used + std::strlen(path) + 2 >= sizeof FailedFiles) {
    ++FailedFilesNotListed;
    return;
  }
  AppendText(FailedFiles, path);
  AppendText(FailedFiles, "\r\n");
}
