// Reads everything the manifest of an installer image says, for the tool
// and the packer's read-back: the installer's own walk and header reader
// over a plain host file, plus what a report needs: the file's size, the
// licence text, and a clear reason when the image is damaged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/format/image_walk.h"
#include "core/format/install_decision.h"
#include "core/format/manifest_layout.h"
#include "core/format/version_info.h"
#include "tool/reader/certificate_table.h"
#include "tool/reader/image_file.h"

namespace reader {

struct PayloadImage {
  std::string path;
  std::uint64_t fileSize = 0;
  format::ManifestWalkInfo walk;
  std::uint16_t licenseLength = 0;
  std::string licenseText;  // exactly licenseLength bytes
  char titleField[format::kTitleFieldSize + 1] = {};  // as stored, always terminated
  std::uint16_t numberBase = 0;
  std::vector<format::PayloadEntry> entries;  // up to the terminator
  bool tableCutShort = false;  // the file ended inside the table
  std::uint64_t manifestEnd = 0;  // file offset just past the entry table as read
  CertificateTable certificates;
  // The author's VERSIONINFO (Publisher, version, web page...) as the
  // installer reads it, and which installer program the image carries (the
  // SAVERKIT resource's text, "Saverkit 0.1.0"; empty when it has none, as
  // images packed before it existed).
  format::VersionInfoFields versionInfo;
  std::string installerProgram;

  // A VERSIONINFO text, empty when absent.
  std::string VersionText(format::VersionField field) const {
    return versionInfo.present[field] ? versionInfo.text[field] : std::string();
  }

  // File offset just past everything the installer reads: the manifest and
  // every entry's stored bytes.
  std::uint64_t PayloadEnd() const;
  // For a signed image: false when the certificate table starts before the
  // payload ends, so that some of what the installer reads is not signed.
  bool SignatureCoversPayload() const;
  // For a signed image: the bytes after the certificate table, which the
  // signature does not cover.
  std::uint64_t BytesAfterSignature() const;

  // The title as the installer uses it: text before the first NUL, trailing
  // blanks removed.
  std::string Title() const;
  // Sum of the installed sizes, modulo 2^32 as the installer counts it.
  std::uint32_t InstallTotalBytes() const;
  // True when the entry's stored bytes lie wholly inside the file.
  bool DataInsideFile(const format::PayloadEntry& entry) const {
    return format::DataInsideImage(entry, fileSize);
  }
  // Whether the installer, in the reference Windows directory, writes the
  // entry at `position` (see install_decision.h).
  format::InstallRefusal InstallerRefusalOf(std::uint32_t position) const;
  // Where that rule is judged: the reference Windows directory, `title`
  // (this image's Title(), which must outlive the place), NumberBase and
  // the file's size.
  format::InstallPlace ReferencePlace(const std::string& title) const {
    return {format::kReferenceWinDir, title.c_str(), numberBase, fileSize};
  }
};

// Reads the image at `path`, an ordinary host path. Throws ImageError with
// a short reason ("cannot open the file", "not a PE image", "no .rsrc
// section", "image cut short", "manifest lies beyond the end of the file").
PayloadImage LoadPayloadImage(const std::string& path);
// The same over an opened file (or memory); `name` names it in errors.
PayloadImage LoadPayloadImage(ImageFile& file, const std::string& name);

// The certificate table of a PE image held in memory (a PE entry's decoded
// bytes), checked as the image's own is: Unsigned when data directory 4 is
// zero or the headers do not reach it.
CertificateTable ReadCertificateTable(const std::vector<std::uint8_t>& pe);

// True when `bytes` start with "MZ" and e_lfanew leads to "PE\0\0".
bool IsPeImage(const std::vector<std::uint8_t>& bytes);

// Opens `path` and checks that it is a PE image at all (MZ and PE
// signatures), as every reader of an image does first; throws ImageError
// ("not a PE image", or why it cannot be opened).
void OpenPeImage(const std::string& path, ImageFile* file);
// Throws ImageError("not a PE image") naming `name` unless `file` is one.
void RequirePeImage(ImageFile& file, const std::string& name);

}  // namespace reader
