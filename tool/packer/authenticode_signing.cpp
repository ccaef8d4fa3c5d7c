// Running osslsigncode on a finished image and checking what it wrote.
#include "tool/packer/authenticode_signing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tool/packer/external_program.h"
#include "tool/packer/interruption.h"
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

#ifdef _WIN32
int OpenForReading(const std::string& path) { return _open(path.c_str(), _O_RDONLY | _O_BINARY); }
int ReadSome(int fd, char* buffer, std::size_t size) { return _read(fd, buffer, static_cast<unsigned>(size)); }
using FileInfo = struct _stat64;
int StatOpen(int fd, FileInfo* info) { return _fstat64(fd, info); }
int CloseFile(int fd) { return _close(fd); }
#else
int OpenForReading(const std::string& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }
ssize_t ReadSome(int fd, char* buffer, std::size_t size) { return read(fd, buffer, size); }
using FileInfo = struct stat;
int StatOpen(int fd, FileInfo* info) { return fstat(fd, info); }
int CloseFile(int fd) { return close(fd); }
#endif

// "64 KiB", "16 MiB": how the bounds are told.
std::string SizeText(std::uint64_t size) {
  return size % (1024 * 1024) == 0 ? std::to_string(size / (1024 * 1024)) + " MiB"
                                   : std::to_string(size / 1024) + " KiB";
}

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

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

std::string ReadBoundedFile(const std::string& path, std::uint64_t maxSize, const char* role) {
  const int fd = OpenForReading(path);
  if (fd < 0) throw SigningInputError(path, std::string("cannot open the ") + role + ": " + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { CloseFile(fd); }
  } closer{fd};
  FileInfo info;
  if (StatOpen(fd, &info) != 0)
    throw SigningInputError(path, std::string("cannot read the ") + role + ": " + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) throw SigningInputError(path, std::string("the ") + role + " is a directory");
  const std::string tooLarge = std::string("the ") + role + " is larger than " + SizeText(maxSize);
  if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > maxSize) throw SigningInputError(path, tooLarge);
  std::string bytes;
  char buffer[4096];
  while (bytes.size() <= maxSize) {
    const std::size_t want = std::min<std::uint64_t>(sizeof buffer, maxSize + 1 - bytes.size());
    const auto got = ReadSome(fd, buffer, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw SigningInputError(path, std::string("cannot read the ") + role + ": " + std::strerror(errno));
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (bytes.size() > maxSize) throw SigningInputError(path, tooLarge);
  return bytes;
}

std::string ReadPasswordFile(const std::string& path) {
  std::string text = ReadBoundedFile(path, kMaxPasswordFileSize, "password file");
  std::string password = FirstLine(text);
  std::fill(text.begin(), text.end(), '\0');
  if (password.size() > kMaxPasswordLength)
    throw SigningInputError(path, "the password (the first line) is longer than " +
                                      std::to_string(kMaxPasswordLength) + " bytes, more than osslsigncode reads");
  return password;
}

std::vector<std::uint8_t> SignImageFile(const std::string& path, const SigningOptions& options) {
  const fs::path image(path);
  RemoveOnExit signedCopy{fs::path(path + ".signed")};
  std::error_code error;
  fs::remove(signedCopy.path, error);

  std::vector<std::string> argv = {"osslsigncode", "sign", "-pkcs12", options.certificate, "-h", "sha256"};
  // The password goes on standard input ("-readpass -"), never on the
  // command line, which every user can read in /proc.
  if (!options.password.empty()) {
    argv.push_back("-readpass");
    argv.push_back("-");
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

  const ProgramRun run = RunProgram(argv, options.password, options.timeoutSeconds);
  if (run.timedOut) {
    throw SigningError("signing did not finish within " + std::to_string(options.timeoutSeconds) +
                       (options.timeoutSeconds == 1 ? " second" : " seconds") +
                       " (osslsigncode was stopped; --sign-timeout sets the limit)");
  }
#ifdef _WIN32
  if (!run.started) throw SigningError("signing runs osslsigncode, which only the Linux build of saverkit does");
#else
  if (!run.started) throw SigningError("cannot run osslsigncode (install the Debian package osslsigncode)");
#endif
  if (run.exitStatus != 0) throw SigningError("osslsigncode failed: " + LastLine(run.output));

  ThrowIfInterrupted();
  const std::vector<std::uint8_t> before = ReadBytes(image);
  std::vector<std::uint8_t> after = ReadBytes(signedCopy.path);
  const std::string problem = SignedLayoutProblem(before, after);
  if (!problem.empty()) throw SigningError("the signed image is not the image with a signature behind it: " + problem);

  ThrowIfInterrupted();
  fs::rename(signedCopy.path, image, error);
  if (error) throw SigningError("cannot replace the image with its signed copy: " + error.message());
  signedCopy.path.clear();
  return after;
}

}  // namespace packer
