// Running osslsigncode on a finished image and checking what it wrote.
#include "tool/packer/authenticode_signing.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tool/packer/external_program.h"
#include "core/imagewriter/pe_checksum.h"
#include "core/format/pe_header_fields.h"
#include "core/format/manifest_layout.h"

using format::FindPeHeaderFields;
using format::PeHeaderFields;
using format::ReadLe32;

namespace fs = std::filesystem;

namespace packer {

using imagewriter::ComputePeChecksum;

namespace {

// The certificate table starts on an 8-byte boundary.
constexpr std::uint64_t kCertificateAlignment = 8;

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw SigningError("cannot read " + path.string());
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The last line osslsigncode printed that says something, for the error.
std::string LastLine(const std::string& output) {
  std::string last, line;
  for (const char c : output) {
    if (c == '\n' || c == '\r') {
      if (!line.empty()) last = line;
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) last = line;
  return last.empty() ? "no message" : last;
}

// Removes the signed copy unless it was renamed into place.
struct RemoveOnExit {
  fs::path path;
  ~RemoveOnExit() {
    std::error_code ignored;
    if (!path.empty()) fs::remove(path, ignored);
  }
};

}  // namespace

std::string SignedLayoutProblem(const std::vector<std::uint8_t>& unsignedImage,
                                const std::vector<std::uint8_t>& signedImage) {
  PeHeaderFields fields;
  if (!FindPeHeaderFields(unsignedImage, &fields)) return "the image has no PE headers";
  if (signedImage.size() <= unsignedImage.size()) return "the signed image is not longer than the image";
  for (std::size_t i = 0; i < unsignedImage.size(); ++i) {
    const bool mayChange = (i >= fields.checksum && i < fields.checksum + 4) ||
                           (i >= fields.securityDirectory && i < fields.securityDirectory + 8);
    if (!mayChange && signedImage[i] != unsignedImage[i])
      return "the signer changed byte " + std::to_string(i) + " of the image";
  }
  const std::uint64_t tableAt = ReadLe32(&signedImage[fields.securityDirectory]);
  const std::uint64_t tableSize = ReadLe32(&signedImage[fields.securityDirectory + 4]);
  const std::uint64_t expectedAt =
      (unsignedImage.size() + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
  if (tableAt != expectedAt || tableAt + tableSize != signedImage.size())
    return "the signature is not the one block behind the image";
  for (std::uint64_t i = unsignedImage.size(); i < tableAt; ++i) {
    if (signedImage[i] != 0) return "the padding in front of the signature is not zero";
  }
  if (ReadLe32(&signedImage[fields.checksum]) != ComputePeChecksum(signedImage, fields.checksum))
    return "the checksum of the signed image is wrong";
  return std::string();
}

std::vector<std::uint8_t> SignImageFile(const std::string& path, const SigningOptions& options) {
  const fs::path image(path);
  RemoveOnExit signedCopy{fs::path(path + ".signed")};
  std::error_code error;
  fs::remove(signedCopy.path, error);

  std::vector<std::string> argv = {"osslsigncode", "sign", "-pkcs12", options.certificate, "-h", "sha256"};
  if (!options.passwordFile.empty()) {
    argv.push_back("-readpass");
    argv.push_back(options.passwordFile);
  }
  if (!options.timestampUrl.empty()) {
    argv.push_back("-ts");
    argv.push_back(options.timestampUrl);
  }
  if (options.signingTime) {
    argv.push_back("-time");
    argv.push_back(std::to_string(*options.signingTime));
  }
  argv.insert(argv.end(), {"-in", path, "-out", signedCopy.path.string()});

  const ProgramRun run = RunProgram(argv);
#ifdef _WIN32
  if (!run.started) throw SigningError("signing runs osslsigncode, which only the Linux build of saverkit does");
#else
  if (!run.started) throw SigningError("cannot run osslsigncode (install the Debian package osslsigncode)");
#endif
  if (run.exitStatus != 0) throw SigningError("osslsigncode failed: " + LastLine(run.output));

  const std::vector<std::uint8_t> before = ReadBytes(image);
  std::vector<std::uint8_t> after = ReadBytes(signedCopy.path);
  const std::string problem = SignedLayoutProblem(before, after);
  if (!problem.empty()) throw SigningError("the signed image is not the image with a signature behind it: " + problem);

  fs::rename(signedCopy.path, image, error);
  if (error) throw SigningError("cannot replace the image with its signed copy: " + error.message());
  signedCopy.path.clear();
  return after;
}

}  // namespace packer
