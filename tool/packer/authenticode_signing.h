// Signing a finished installer image with Authenticode by running
// osslsigncode (Debian package osslsigncode) on it.
//
// Authenticode appends the signature (a PKCS#7 SignedData in a
// WIN_CERTIFICATE) behind the end of the file and points the security data
// directory at it; the hash covers the whole file but the checksum, that
// directory entry and the signature itself. The installer reads its
// manifest through the section table and its entries at absolute offsets
// below the old end of the file, so a signed image installs the same. The
// checksum is the one osslsigncode computes over the signed file: the
// loader checks it only for drivers and boot programs, and it is correct
// for the signed bytes, which the check below asserts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool/errors/failure.h"

namespace packer {

// Why an image could not be signed.
class SigningError : public errors::Failure {
 public:
  explicit SigningError(const std::string& problem) : errors::Failure("", problem, errors::kExitDataError) {}
};

// A password or certificate file that is refused before signing starts;
// it names the file and ends the command as bad arguments do.
class SigningInputError : public errors::Failure {
 public:
  SigningInputError(const std::string& file, const std::string& problem)
      : errors::Failure(file, problem, errors::kExitUsageError) {}
};

// The most signing reads of its inputs: a password file is a line or two
// of text, a PKCS#12 file a key and a certificate chain of a few KiB.
constexpr std::uint64_t kMaxPasswordFileSize = 64 * 1024;
constexpr std::uint64_t kMaxCertificateFileSize = 16 * 1024 * 1024;
// osslsigncode reads at most this much of a password (one read into a
// 4096-byte buffer); a longer one would be cut short without a word.
constexpr std::size_t kMaxPasswordLength = 4095;
// Time-stamping servers answer in seconds, but a loaded one can take a
// minute; osslsigncode itself gives each connection a limit of its own.
constexpr unsigned kDefaultSigningTimeoutSeconds = 120;

// The first line of `text`: everything before the first LF or CR, so that
// a file ending in LF or CR LF, or with no newline at all, gives the same.
std::string FirstLine(const std::string& text);

// The bytes of the file at `path`, which must not be more than `maxSize`:
// the size of the opened file is checked (fstat) before anything is read,
// and no more than maxSize + 1 bytes are read whatever it is (a file that
// grows meanwhile, a pipe, a device). `role` names it in the refusal.
// Throws SigningInputError.
std::string ReadBoundedFile(const std::string& path, std::uint64_t maxSize, const char* role);

// The password in the file at `path` (its first line; empty: none).
// Throws SigningInputError.
std::string ReadPasswordFile(const std::string& path);

struct SigningOptions {
  std::string certificate;   // PKCS#12 file (.pfx, .p12): key and certificate chain
  std::string password;      // its password, handed over on standard input; empty: none
  std::string timestampUrl;  // an RFC 3161 time-stamping server; empty: none
  unsigned timeoutSeconds = kDefaultSigningTimeoutSeconds;  // osslsigncode is killed after it
  // The signing time written into the signature, in seconds since 1970;
  // none: the current time. A fixed time and no time stamp make signing
  // with the same key give the same bytes.
  std::optional<std::uint32_t> signingTime;
};

// Signs the image file at `path`: osslsigncode writes a signed copy beside
// it, the copy is checked with SignedLayoutProblem and renamed over `path`.
// Returns the signed bytes. Throws SigningError (nothing changed at `path`,
// no signed copy left), or Interrupted.
std::vector<std::uint8_t> SignImageFile(const std::string& path, const SigningOptions& options);

// Empty when `signedImage` is `unsignedImage` with a signature appended:
// every byte of `unsignedImage` kept but the checksum and the security
// directory entry, which points at one certificate table starting at the
// old end rounded up to 8 bytes (zero padding) and running to the end of
// the file, and a checksum that is right for the signed bytes. Else what
// is wrong.
std::string SignedLayoutProblem(const std::vector<std::uint8_t>& unsignedImage,
                                const std::vector<std::uint8_t>& signedImage);

}  // namespace packer
