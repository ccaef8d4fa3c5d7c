// Reads everything the manifest of an installer image says, for the tool
// and the packer's read-back: the installer's own walk and header reader
// over a plain host file, plus what a report needs: the file's size, the
// licence text, and a clear reason when the image is damaged.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload/image_walk.h"
#include "payload/install_decision.h"
#include "payload/manifest_layout.h"

struct PayloadImage {
  std::string path;
  std::uint64_t fileSize = 0;
  ManifestWalkInfo walk;
  std::uint16_t licenseLength = 0;
  std::string licenseText;  // exactly licenseLength bytes
  char titleField[kTitleFieldSize + 1] = {};  // as stored, always terminated
  std::uint16_t numberBase = 0;
  std::vector<PayloadEntry> entries;  // up to the terminator
  bool tableCutShort = false;  // the file ended inside the table

  // The title as the installer uses it: text before the first NUL, trailing
  // blanks removed.
  std::string Title() const;
  // Sum of the installed sizes, modulo 2^32 as the installer counts it.
  std::uint32_t InstallTotalBytes() const;
  // True when the entry's stored bytes lie wholly inside the file.
  bool DataInsideFile(const PayloadEntry& entry) const { return DataInsideImage(entry, fileSize); }
  // Whether the installer, in the reference Windows directory, writes the
  // entry at `position` (see install_decision.h).
  InstallRefusal InstallerRefusalOf(std::uint32_t position) const;
};

// An image that cannot be read or is damaged: file() names it, what() says
// what is wrong in a few words.
class ImageError : public std::runtime_error {
 public:
  ImageError(std::string file, const std::string& problem)
      : std::runtime_error(problem), file_(std::move(file)) {}
  const std::string& file() const { return file_; }

 private:
  std::string file_;
};

// Reads the image at `path`, an ordinary host path. Throws ImageError with
// a short reason ("cannot open the file", "not a PE image", "no .rsrc
// section", "image cut short", "manifest lies beyond the end of the file").
PayloadImage LoadPayloadImage(const std::string& path);
