// Telling whether a file is an installer image of this kind, reading only
// what that needs: a file that is no PE image costs two small reads, a PE
// without the payload resource the walk of its headers and resource tree.
// No entry is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "saverkit/image.h"

namespace saverkit {

enum class FileKind {
  kInstaller,     // an installer image that shows no damage
  kNotInstaller,  // no PE image, or a PE without the payload resource first
  kDamaged,       // an installer image with damage (see `damage`)
};
// "installer", "not an installer", "damaged".
const char* FileKindName(FileKind kind);

struct Identification {
  FileKind kind = FileKind::kNotInstaller;
  // The rest for installers, damaged ones as far as they could be read.
  std::string title;  // Windows-1252
  std::size_t entries = 0;
  std::uint32_t installTotal = 0;  // the installer's 32-bit count
  bool isSigned = false;           // a sound certificate table
  std::optional<std::string> publisher;  // Windows-1252
  std::optional<std::string> version;
  InstallerProgram installerProgram = InstallerProgram::kOther;
  std::string installerIdentity;  // "Saverkit 0.1.0", or empty
  std::string damage;             // for kDamaged
};

// Throws Error(kIo) when the file cannot be opened or is no regular file;
// damage is a result, never an exception.
Identification Identify(const std::string& path);
Identification IdentifyMemory(const std::vector<std::uint8_t>& bytes);

}  // namespace saverkit
