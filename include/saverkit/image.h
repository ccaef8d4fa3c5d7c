// An installer image opened for reading: its manifest (title, licence,
// entries), its metadata (VERSIONINFO, signature, installer program), and
// its entries decoded as the installer decodes them.
//
// Everything in an image is untrusted. Opening reads the PE headers, the
// resource tree and the whole entry table; decoding reads an entry's stored
// bytes. Every decode of one Image's entries through one EntryReader is
// charged to one work budget of 24 bytes per byte of the image plus 4 MiB,
// the same as `saverkit test` and `extract`: an image whose entries decode
// the same stored data again and again stops with ErrorKind::kDamaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "saverkit/error.h"

namespace saverkit {

// What an entry is, by its position in the table: 0 the screen saver, 1 its
// data file, 2 the uninstaller, 3 and on media files.
enum class Role { kSaver, kData, kUninstaller, kMedia };
// "saver", "data", "uninstaller", "media".
const char* RoleName(Role role);

// Why the installer writes no file for an entry (kNone: it writes it).
enum class Refusal {
  kNone,
  kNoWindowsDirectory,  // the system gave none (never, for an opened image)
  kUnsafeTitle,         // the title would lead out of its folder
  kUnsafeName,          // a media file name would
  kPathTooLong,         // the installed path passes 259 characters
  kDataOutsideImage,    // the stored bytes run past the end of the image
};
// "written", or the refusal in a few words ("refused: ...").
const char* RefusalText(Refusal refusal);

struct Entry {
  std::uint32_t position = 0;  // in the entry table, from 0
  Role role = Role::kMedia;
  // Installed path relative to the Windows directory ("Night Sky.SCR",
  // "MARLOWEN\VELDRAKE\Night Sky\UNINSTAL.EXE"), Windows-1252; empty when
  // the naming rules cannot build one. Built even when the installer would
  // refuse it as too long.
  std::string path;
  // The file name alone, in the folder it is installed in.
  std::string fileName;
  // Installed size in bytes: the expanded size of a compressed entry, the
  // stored size of a stored one.
  std::uint32_t size = 0;
  std::uint32_t storedSize = 0;   // bytes in the image
  std::uint32_t dataOffset = 0;   // file offset of the stored bytes
  bool compressed = false;        // false: stored as is
  std::uint8_t kind = 0;          // the media name's kind byte, as stored
  Refusal refusal = Refusal::kNone;
  bool installed() const { return refusal == Refusal::kNone; }
  // The stored bytes lie wholly inside the image.
  bool dataInsideImage = true;
  // A compressed size of 2 GiB or more: the installer writes nothing of it.
  bool tooLarge = false;
};

enum class SignatureState {
  kUnsigned,  // no certificate table
  kSigned,    // a certificate table whose structure is sound (not verified cryptographically)
  kDamaged,   // a table that cannot be one: see damage
};

struct Signature {
  SignatureState state = SignatureState::kUnsigned;
  std::uint32_t offset = 0;  // file offset of the certificate table
  std::uint32_t size = 0;    // its size in bytes
  std::string damage;        // for kDamaged, what is wrong
  // For kSigned: false when the table starts before the payload ends, so
  // the signature does not vouch for all the installer reads.
  bool coversPayload = true;
  std::uint64_t bytesAfter = 0;  // for kSigned: bytes behind the table, not covered
};

// The signature of a PE program inside the image (screen saver, uninstaller).
enum class ProgramSignature {
  kNotPe,     // the entry's bytes are no PE image
  kNotRead,   // not decoded: not written by the installer, damaged, or not checked
  kTooLarge,  // a PE whose headers or certificate table reach past 64 MiB: not checked
  kUnsigned,
  kSigned,
  kDamaged,   // see the damage text
};
// "signed", "unsigned", "damaged", or "-".
const char* ProgramSignatureWord(ProgramSignature state);

enum class VersionInfoState { kAbsent, kRead, kDamaged };

// Which installer program the image carries, by its SAVERKIT identity
// resource: one of our releases ("Saverkit 0.1.0"), or another (no such
// resource, as images made before it existed, or another text).
enum class InstallerProgram { kOurs, kOther };

// How decoding one entry ended.
enum class EntryStatus {
  kOk,             // every byte, as the installer writes it
  kDataBeyondEnd,  // the stored bytes run past the end of the image
  kTruncated,      // the stored bytes ran out before the expanded size
  kTooLarge,       // an expanded size of 2 GiB or more
  kReadFailed,     // the image could not be read
  kNotInstalled,   // the installer writes no such entry (see Entry::refusal): nothing decoded
  kSinkStopped,    // the sink returned false
};
// The status in a few words, as `saverkit test` prints it.
const char* EntryStatusText(EntryStatus status);

struct EntryResult {
  EntryStatus status = EntryStatus::kOk;
  // Bytes handed to the sink. For kTruncated these are the bytes decoded
  // before the damaged spot, which are the installer's.
  std::uint64_t written = 0;
  // Whole stored bytes the stream did not need (for kOk).
  std::uint32_t unreadBytes = 0;
  // Filled when asked for (DecodeOptions::checkSignature) and kOk.
  ProgramSignature signature = ProgramSignature::kNotRead;
  std::string signatureDamage;
};

// Receives decoded bytes in pieces of up to 64 KiB; returns false to stop.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

struct DecodeOptions {
  // Hold a PE entry while it decodes and check its certificate table.
  bool checkSignature = false;
};

class EntryReader;

class Image {
 public:
  // Opens the image at `path`. Throws Error: kIo when the file cannot be
  // opened or is no regular file, kDamaged when it is no PE image or its
  // manifest cannot be read ("no .rsrc section", "image cut short",
  // "manifest lies beyond the end of the file").
  static Image Open(const std::string& path);
  // The same for an image held in memory; `name` names it in errors.
  static Image OpenMemory(std::vector<std::uint8_t> bytes, const std::string& name = "<memory>");

  Image(Image&&) noexcept;
  Image& operator=(Image&&) noexcept;
  ~Image();

  const std::string& name() const;  // the path, or the name given
  std::uint64_t fileSize() const;

  // The title as the installer uses it (before its first NUL, trailing
  // blanks removed), Windows-1252.
  std::string title() const;
  // The licence text, exactly as stored (Windows-1252); empty when none.
  const std::string& licence() const;
  std::uint16_t numberBase() const;
  std::uint32_t manifestOffset() const;

  // The author's VERSIONINFO texts, Windows-1252; nullopt where absent.
  std::optional<std::string> publisher() const;  // CompanyName
  std::optional<std::string> version() const;    // ProductVersion
  std::optional<std::string> url() const;        // the "URL" key
  std::optional<std::string> copyright() const;  // LegalCopyright
  VersionInfoState versionInfoState() const;

  InstallerProgram installerProgram() const;
  // The identity text ("Saverkit 0.1.0"); empty when the image has none.
  const std::string& installerIdentity() const;

  const Signature& signature() const;

  // Entries up to the table's terminator, in table order.
  const std::vector<Entry>& entries() const;
  // The entry table ended with the file rather than at its terminator.
  bool tableCutShort() const;
  // Sum of the installed sizes modulo 2^32, as the installer counts it,
  // and without wrapping.
  std::uint32_t installTotal() const;
  std::uint64_t installTotalTrue() const;
  // File offset just past the manifest and every entry's stored bytes.
  std::uint64_t payloadEnd() const;

  // The first damage this image shows without decoding (an entry's data
  // beyond the end, an expanded size of 2 GiB or more, a wrapping install
  // total, a cut-short table, a damaged certificate table), in the words
  // `saverkit list` and `test` use; empty when none.
  std::string damage() const;

  // Decodes entry `position` as the installer writes it into `sink`, with
  // a fresh EntryReader (so decoding every earlier compressed entry the
  // installer writes first). Throws Error(kBadArgument) for a position past
  // the table, Error(kDamaged) when the work budget is spent.
  EntryResult Decode(std::uint32_t position, const ByteSink& sink) const;
  // The same into a buffer of at most `limit` bytes; `result` (may be null)
  // tells how it ended. Bytes past the limit are decoded and dropped.
  std::vector<std::uint8_t> Read(std::uint32_t position, std::size_t limit, EntryResult* result = nullptr) const;

  // Each entry's program signature, for listing: the entries the installer
  // writes are decoded in order under one budget; once it is spent, or the
  // image is damaged further on, the rest are kNotRead. Never throws for
  // damage; Error(kIo) when the image file cannot be opened or read again.
  std::vector<std::pair<ProgramSignature, std::string>> ProgramSignatures() const;

 private:
  friend class EntryReader;
  friend struct ImageAccess;  // libsaverkit's own way in
  struct Impl;
  explicit Image(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Decodes an image's entries in the installer's order. The decoder's ring
// carries over from one compressed entry to the next, so entry k's bytes
// are the installer's only after every earlier compressed entry the
// installer writes was decoded: Decode does that itself, decoding skipped
// entries into nowhere, and restarts from the first entry when asked for
// one at or before the last it decoded. One work budget for the reader's
// whole life. The Image must outlive the reader.
class EntryReader {
 public:
  explicit EntryReader(const Image& image);
  EntryReader(EntryReader&&) noexcept;
  ~EntryReader();

  // Decodes entry `position` into `sink`. An entry the installer does not
  // write gives kNotInstalled and leaves the ring alone. When the sink
  // stops, the ring is no longer the installer's: the next call restarts.
  // Throws Error(kBadArgument) for a position past the table,
  // Error(kDamaged) once the work budget is spent, Error(kIo) when the
  // image file cannot be opened again.
  EntryResult Decode(std::uint32_t position, const ByteSink& sink, const DecodeOptions& options = {});
  // The same into a buffer of at most `limit` bytes; bytes past the limit
  // are decoded (the ring needs them) and dropped.
  std::vector<std::uint8_t> Read(std::uint32_t position, std::size_t limit, EntryResult* result = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace saverkit
