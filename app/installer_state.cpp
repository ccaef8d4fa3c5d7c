// The installer's process-wide state and the two lists it keeps.
#include "app/installer_state.h"

#include <cstring>

#include "base/bounded_text.h"

HINSTANCE InstanceHandle = nullptr;
char ScreenSaverFileName[kPathBufferSize] = "";
std::uint32_t InstallTotalBytes = 0;
char UnsupportedTypes[kUnsupportedTypesSize] = "";
bool UnsupportedTypesOverflow = false;
char FailedFiles[kFailedFilesSize] = "";
unsigned FailedFileCount = 0;
unsigned FailedFilesNotListed = 0;

bool AllMediaSupported() { return UnsupportedTypes[0] == '\0' && !UnsupportedTypesOverflow; }

void ListUnsupportedType(const char* extension) {
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

void RecordFailedFile(const char* path) {
  ++FailedFileCount;
  const std::size_t used = std::strlen(FailedFiles);
  if (used + std::strlen(path) + 2 >= sizeof FailedFiles) {
    ++FailedFilesNotListed;
    return;
  }
  AppendText(FailedFiles, path);
  AppendText(FailedFiles, "\r\n");
}
