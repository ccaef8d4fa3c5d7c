// Making an installer image: the checks on what goes in, the entries
// (each compressed when that makes it smaller), the image laid out from a
// stub, and the read-back that proves the image installs what went in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/imagewriter/version_info_writer.h"
#include "tool/errors/failure.h"
#include "tool/packer/stub_image.h"

namespace packer {

// An input the packer refuses, or a packed image that did not read back as
// written: `file` names the file concerned (may be empty), what() the problem.
// A refused input ends the command as a usage error.
class PackError : public errors::Failure {
 public:
  PackError(std::string file, const std::string& problem)
      : errors::Failure(std::move(file), problem, errors::kExitUsageError) {}
};

// The longest title accepted, in characters. The installer builds every
// path in a 260-byte buffer (259 characters); the longest one, the data
// file WinDir\MARLOWEN\VELDRAKE\<title>\<title>.DAT, holds the title twice:
// W + 24 + 2 x title characters, where W is the Windows directory's length
// without its backslash. 100 keeps it within 259 for Windows directories
// of up to 35 characters ("C:\WINDOWS" has 10), and keeps the installer's
// caption "<title> Screen Saver Installation" and the uninstall registry
// key (at most 255 characters) whole as well.
constexpr std::size_t kMaxTitleLength = 100;

// The installer seeks with signed 32-bit offsets and the decoder compares
// expanded sizes as signed 32-bit numbers: every offset, size and the image
// itself stay below 2 GiB.
constexpr std::uint64_t kMaxImageSize = 0x7FFFFFFF;


// What `Kind` a media entry carries: its installed name's prefix.
enum class MediaKind {
  kJuke,           // Kind 0:    JUKE0023.MID
  kJukUnderscore,  // Kind 0x5F: JUK_0023.MID
  kFile,           // Kind 0x20: FILE0023.MID
};
std::uint8_t KindByte(MediaKind kind);

// One file that goes into the image.
struct PackInput {
  std::string path;  // as the user named it, for messages
  std::vector<std::uint8_t> bytes;
};

struct PackRequest {
  std::string title;    // Windows-1252 text, as the installer will use it
  // The author's identity, written into the image's VERSIONINFO (all
  // Windows-1252; empty: not written): CompanyName, ProductVersion and
  // FileVersion ("X.Y.Z", 1 to 4 numbers of 0 to 65535), the "URL" key,
  // LegalCopyright. ProductName (the title) and FileDescription ("<title>
  // Setup") are always written.
  std::string publisher;
  std::string version;
  std::string url;
  std::string copyright;
  std::string license;  // bytes as they stand; empty: no licence
  std::string licensePath;  // for messages
  std::uint16_t numberBase = 1;
  MediaKind kind = MediaKind::kJuke;
  bool store = false;  // store every entry as is
  PackInput saver;        // position 0
  PackInput data;         // position 1
  PackInput uninstaller;  // position 2
  std::vector<PackInput> media;  // positions 3 and on
};

// Empty when `title` is usable; else what is wrong with it.
std::string TitleProblem(const std::string& title);

// The media entry's Name for a file: its extension with the dot, upper
// case, e.g. "melody.mid" gives ".MID". Throws PackError when the file
// name has no usable extension.
std::string MediaEntryName(const std::string& path);

// Every check that needs no stub: title, licence, the VERSIONINFO texts and
// version, empty or oversized inputs, media names, installed paths. Throws
// PackError.
void CheckPackRequest(const PackRequest& request);

// The image's VERSIONINFO as the request gives it.
imagewriter::VersionInfoContents ImageVersionInfo(const PackRequest& request);

// The packed image's resources: the stub's, with every RT_VERSION resource
// replaced by one (id 1, language 1033) holding `versionInfo`. Everything
// else, the SAVERKIT identity among it, goes through unchanged.
std::vector<imagewriter::ResourceItem> ImageResources(const StubImage& stub,
                                                      const std::vector<std::uint8_t>& versionInfo);

// How one entry went into the image.
struct PackedEntry {
  std::string installedName;  // relative to the Windows directory
  std::uint32_t size = 0;        // the file's size
  std::uint32_t storedSize = 0;  // bytes in the image
  bool compressed = false;
};

struct PackResult {
  std::vector<std::uint8_t> image;
  std::uint32_t manifestOffset = 0;
  std::vector<PackedEntry> entries;  // in table order
};

// Checks the request and lays out the image. Throws PackError for inputs,
// StubError for a stub that cannot carry a payload.
PackResult PackInstaller(const StubImage& stub, const PackRequest& request);

// Reads the image file at `path` back with the installer's own reader,
// decodes every entry with the installer's decoder, and compares all with
// the request and with the stub's other resources. Throws PackError naming
// the first difference.
void VerifyPackedImage(const std::string& path, const StubImage& stub, const PackRequest& request);

}  // namespace packer
