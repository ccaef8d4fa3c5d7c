// Making an installer image from files: what `saverkit pack` does before
// it writes (and optionally signs) the result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace saverkit {

// One file that goes into the image.
struct PackFile {
  std::string path;  // for messages only
  std::vector<std::uint8_t> bytes;
};

// Which prefix a media entry's installed name gets.
enum class MediaNaming {
  kJuke,           // JUKE0023.MID
  kJukUnderscore,  // JUK_0023.MID
  kFile,           // FILE0023.MID
};

struct PackRequest {
  std::string title;  // Windows-1252, at most 100 characters, one plain file name
  // The author's VERSIONINFO texts (Windows-1252; empty: not written);
  // version is "X.Y.Z" (1 to 4 numbers of 0 to 65535).
  std::string publisher;
  std::string version;
  std::string url;
  std::string copyright;
  std::string licence;      // bytes as they stand; empty: no licence
  std::string licencePath;  // for messages
  std::uint16_t numberBase = 1;  // the first media number
  MediaNaming naming = MediaNaming::kJuke;
  bool store = false;  // store every entry as is (else each is compressed when that makes it smaller)
  PackFile saver;        // entry 0
  PackFile data;         // entry 1
  PackFile uninstaller;  // entry 2
  std::vector<PackFile> media;  // entries 3 and on
};

struct PackedEntry {
  std::string installedPath;  // relative to the Windows directory
  std::uint32_t size = 0;
  std::uint32_t storedSize = 0;
  bool compressed = false;
};

struct PackedImage {
  std::vector<std::uint8_t> bytes;
  std::uint32_t manifestOffset = 0;
  std::vector<PackedEntry> entries;
};

// Lays out the image from the installer program at `stubPath` (an
// installer.exe). Throws Error: kBadArgument for a refused request (its
// reason), kIo when the stub cannot be read, kDamaged for a stub that
// cannot carry a payload. The bytes are not read back here: open them with
// Image::OpenMemory and decode every entry to check them.
PackedImage Pack(const PackRequest& request, const std::string& stubPath);

}  // namespace saverkit
