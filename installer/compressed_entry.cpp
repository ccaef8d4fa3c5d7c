// Installing one compressed payload entry (see compressed_entry.h).
#include "installer/compressed_entry.h"

#include <cstdio>

#include "installer/byte_streams.h"

namespace installer {

int ExtractCompressedEntry(HINSTANCE instance, DWORD dataOffset, DWORD expandedSize,
                           DWORD storedSize, LPCSTR destination) {
  ReadPtr(nullptr, 0);
  WritePtr(nullptr, 0, 0);

  char imagePath[MAX_PATH];
  const DWORD length = GetModuleFileNameA(instance, imagePath, sizeof imagePath);
  // 0 is failure; a full buffer means the name was cut and is not the image.
  if (length == 0 || length >= sizeof imagePath) return 0;

  std::FILE* image = fopen(imagePath, "rb");
  if (image == nullptr) return 0;
  // A failed seek would leave the image at its start and decode the wrong
  // bytes. An offset past what fseek's long holds cannot lie in an image.
  if (dataOffset > 0x7FFFFFFFu || std::fseek(image, static_cast<long>(dataOffset), SEEK_SET) != 0) {
    std::fclose(image);
    return 0;
  }
  std::FILE* output = fopen(destination, "wb");
  if (output == nullptr) {
    std::fclose(image);
    return 0;
  }
  DecodeEntry(image, output, expandedSize, storedSize);
  std::fclose(output);
  std::fclose(image);
  return 1;
}

}  // namespace installer
