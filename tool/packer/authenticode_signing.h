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

struct SigningOptions {
  std::string certificate;   // PKCS#12 file (.pfx, .p12): key and certificate chain
  std::string passwordFile;  // its password on the first line; empty: no password
  std::string timestampUrl;  // an RFC 3161 time-stamping server; empty: none
  // The signing time written into the signature, in seconds since 1970;
  // none: the current time. A fixed time and no time stamp make signing
  // with the same key give the same bytes.
  std::optional<std::uint32_t> signingTime;
};

// Signs the image file at `path`: osslsigncode writes a signed copy beside
// it, the copy is checked with SignedLayoutProblem and renamed over `path`.
// Returns the signed bytes. Throws SigningError (nothing changed at `path`).
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
