// saverkit pack: makes an installer image from a screen saver, its data
// file, an uninstaller and media files.
//
// The installer program to extend (the stub) is, unless --stub names one,
// the one the same build made: "installer.exe" beside this program (the
// win32 build holds both), else "../win32/installer.exe" from it (the host
// build build/host/saverkit finds build/win32/installer.exe), else the
// installed one, "../share/saverkit/installer.exe" from it (<prefix>/bin/
// saverkit, whatever the prefix). The default uninstaller, UNINSTAL.EXE,
// is found the same way.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "tool/packer/authenticode_signing.h"
#include "tool/packer/image_time_stamp.h"
#include "tool/packer/interruption.h"
#include "tool/commands/output_file.h"
#include "tool/packer/packer.h"
#include "tool/packer/stub_image.h"
#include "tool/reader/payload_image.h"
#include "core/format/exit_codes.h"
#include "core/format/install_names.h"
#include "core/format/manifest_layout.h"
#include "core/text/windows1252.h"
#include "tool/commands/sha256.h"
#include "tool/commands/winget_manifest.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/build_output.h"
#include "tool/commands/own_executable.h"
#include "tool/commands/text_output.h"

using format::kUninstallerName;

namespace fs = std::filesystem;

namespace commands {

namespace {

struct PackOptions {
  std::string output;
  std::string title;
  std::string saver;
  std::string data;
  std::string uninstaller;
  std::vector<std::string> media;
  std::string license;
  std::uint16_t numberBase = 1;
  std::string kind = "juke";
  bool store = false;
  std::string stub;
  bool force = false;
  bool json = false;
  std::string sign;  // a PKCS#12 certificate: sign the image and UNINSTAL.EXE with it
  bool signSaver = false;  // sign the screen saver too
  std::string signPasswordFile;
  std::string timestampUrl;
  unsigned signTimeout = packer::kDefaultSigningTimeoutSeconds;  // seconds
  std::string sourceDateEpoch;  // empty: SOURCE_DATE_EPOCH, if set
  // The author's identity, for the image's VERSIONINFO.
  std::string publisher;
  std::string version;
  std::string url;
  std::string copyright;
  // The winget manifest: its folder (empty: none), the package identifier,
  // where the image will be downloaded from, and the licence's name.
  std::string winget;
  std::string packageId;
  std::string installerUrl;
  std::string licenseName = "Proprietary";
};

constexpr char kStubName[] = "installer.exe";

// `name` as the tool finds the programs it packs (build_output.h).
std::string FindBuildOutput(const char* name) {
  const fs::path self = OwnExecutable();
  if (self.empty()) return std::string();
  return commands::FindBuildOutput(self.parent_path(), name);
}

std::vector<std::uint8_t> ReadInputFile(const std::string& path, const char* role) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) throw Failure{path, std::string("the ") + role + " does not exist", kExitUsageError};
  if (!fs::is_regular_file(status)) throw Failure{path, std::string("the ") + role + " is not a file", kExitUsageError};
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) throw Failure{path, "cannot read the " + std::string(role), kExitUsageError};
  if (size > packer::kMaxImageSize) throw Failure{path, std::string("the ") + role + " is 2 GiB or larger", kExitUsageError};
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    throw Failure{path, "cannot read the " + std::string(role), kExitUsageError};
  return bytes;
}

// Text from the command line as the installer will hold it: Windows-1252.
// On Windows the command line already is in the system's code page;
// elsewhere it is UTF-8, and a letter the code page lacks is refused.
bool ToWindows1252(const std::string& text, std::string* out) {
#ifdef _WIN32
  *out = text;
  return true;
#else
  out->clear();
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::uint32_t code = 0;
    std::size_t length = 0;
    if (lead < 0x80) { code = lead; length = 1; }
    else if ((lead & 0xE0) == 0xC0) { code = lead & 0x1F; length = 2; }
    else if ((lead & 0xF0) == 0xE0) { code = lead & 0x0F; length = 3; }
    else return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    i += length;
    const unsigned char byte = code > 0xFFFF ? 0 : text::UnicodeToWindows1252(static_cast<std::uint16_t>(code));
    // C1 controls (and the bytes the code page leaves undefined) are refused.
    if ((byte == 0 && code != 0) || (code >= 0x80 && code < 0xA0)) return false;
    *out += static_cast<char>(byte);
  }
  return true;
#endif
}

// `text` of the option `option` in Windows-1252, or a usage failure.
std::string OptionToWindows1252(const std::string& text, const char* option) {
  std::string out;
  if (!ToWindows1252(text, &out))
    throw Failure{"", std::string(option) + " holds letters that the installer's code page (Windows-1252) cannot hold",
                  kExitUsageError};
  return out;
}

packer::MediaKind KindOf(const std::string& kind) {
  if (kind == "juk_") return packer::MediaKind::kJukUnderscore;
  if (kind == "file") return packer::MediaKind::kFile;
  return packer::MediaKind::kJuke;
}

std::string FileNameOf(const std::string& installedPath) {
  const std::size_t slash = installedPath.rfind('\\');
  return slash == std::string::npos ? installedPath : installedPath.substr(slash + 1);
}

double Ratio(std::uint64_t stored, std::uint64_t size) {
  return size == 0 ? 0.0 : 100.0 * static_cast<double>(stored) / static_cast<double>(size);
}

void PrintReport(const std::string& output, const packer::PackResult& result, bool json) {
  std::uint64_t size = 0, stored = 0;
  for (const packer::PackedEntry& entry : result.entries) {
    size += entry.size;
    stored += entry.storedSize;
  }
  if (json) {
    nlohmann::ordered_json out;
    out["output"] = output;
    out["image_size"] = result.image.size();
    out["manifest_offset"] = result.manifestOffset;
    out["entries"] = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < result.entries.size(); ++i) {
      const packer::PackedEntry& entry = result.entries[i];
      out["entries"].push_back({{"position", i},
                                {"path", Windows1252ToUtf8(entry.installedName)},
                                {"size", entry.size},
                                {"stored_size", entry.storedSize},
                                {"compressed", entry.compressed},
                                {"ratio", Ratio(entry.storedSize, entry.size)}});
    }
    out["total"] = {{"size", size}, {"stored_size", stored}, {"ratio", Ratio(stored, size)}};
    // Paths are the user's bytes: anything not UTF-8 is shown replaced.
    std::cout << out.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return;
  }
  std::printf("%4s  %-32s %13s %13s %7s  %s\n", "Pos", "Name", "Size", "Stored", "Ratio", "Method");
  for (std::size_t i = 0; i < result.entries.size(); ++i) {
    const packer::PackedEntry& entry = result.entries[i];
    std::printf("%4zu  %-32s %13s %13s %6.1f%%  %s\n", i, Printable(FileNameOf(entry.installedName)).c_str(),
                Thousands(entry.size).c_str(), Thousands(entry.storedSize).c_str(),
                Ratio(entry.storedSize, entry.size), entry.compressed ? "compressed" : "stored");
  }
  std::printf("      %-32s %13s %13s %6.1f%%\n", "Total", Thousands(static_cast<std::uint32_t>(size)).c_str(),
              Thousands(static_cast<std::uint32_t>(stored)).c_str(), Ratio(stored, size));
  std::printf("Wrote %s (%s bytes)\n", output.c_str(), Thousands(static_cast<std::uint32_t>(result.image.size())).c_str());
}

// A stub problem as the command tells it: about the installer program's file.
constexpr char kNotTheInstallerProgram[] = "cannot be the installer program: ";

// Refuses an output that is a folder, that exists without --force, or whose
// folder does not exist.
void CheckOutputPath(const PackOptions& options) {
  const fs::path output(options.output);
  std::error_code error;
  if (fs::is_directory(output, error)) throw Failure{options.output, "is a directory", kExitUsageError};
  if (fs::exists(output, error) && !options.force)
    throw Failure{options.output, "already exists (use --force to replace it)", kExitUsageError};
  const fs::path directory = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  if (!fs::is_directory(directory, error))
    throw Failure{options.output, "its directory does not exist", kExitUsageError};
}

// What goes into the image, read from the files the options name (the
// build's UNINSTAL.EXE unless one is named); `uninstaller` receives the
// uninstaller's path.
packer::PackRequest ReadPackRequest(const PackOptions& options, std::string* uninstaller) {
  packer::PackRequest request;
  if (!ToWindows1252(options.title, &request.title))
    throw Failure{"", "the title holds letters that the installer's code page (Windows-1252) cannot hold",
                  kExitUsageError};
  request.publisher = OptionToWindows1252(options.publisher, "--publisher");
  request.version = OptionToWindows1252(options.version, "--version");
  request.url = OptionToWindows1252(options.url, "--url");
  request.copyright = OptionToWindows1252(options.copyright, "--copyright");
  request.numberBase = options.numberBase;
  request.kind = KindOf(options.kind);
  request.store = options.store;
  request.saver = {options.saver, ReadInputFile(options.saver, "screen saver")};
  request.data = {options.data, ReadInputFile(options.data, "data file")};
  *uninstaller = options.uninstaller;
  if (uninstaller->empty()) *uninstaller = FindBuildOutput(kUninstallerName);
  if (uninstaller->empty())
    throw Failure{"", "no uninstaller: build the win32 preset, which makes UNINSTAL.EXE, or name one with --uninstaller",
                  kExitUsageError};
  request.uninstaller = {*uninstaller, ReadInputFile(*uninstaller, "uninstaller")};
  for (const std::string& media : options.media) request.media.push_back({media, ReadInputFile(media, "media file")});
  if (!options.license.empty()) {
    const std::vector<std::uint8_t> license = ReadInputFile(options.license, "licence");
    request.license.assign(license.begin(), license.end());
    request.licensePath = options.license;
  }
  return request;
}

// The installer program at `stubPath`, read and checked for the payload's
// resource.
packer::StubImage ReadStub(const std::string& stubPath) {
  std::vector<std::uint8_t> bytes = ReadInputFile(stubPath, "installer program");
  try {
    packer::StubImage stub = packer::ReadStubImage(std::move(bytes));
    packer::RequirePayloadResourceFirst(stub);
    return stub;
  } catch (const packer::StubError& e) {
    throw e.Within(stubPath, kNotTheInstallerProgram, kExitDataError);
  }
}

// Even with --force, the output must not take the place of what it is made
// from (the build's installer program, say).
void RefuseOutputAmongInputs(const PackOptions& options, const std::string& stubPath,
                             const std::string& uninstaller) {
  const fs::path output(options.output);
  std::error_code error;
  std::vector<std::string> inputs = {stubPath,        options.saver, options.data,          uninstaller,
                                     options.license, options.sign,  options.signPasswordFile};
  inputs.insert(inputs.end(), options.media.begin(), options.media.end());
  for (const std::string& input : inputs) {
    if (!input.empty() && fs::exists(output, error) && fs::equivalent(output, input, error))
      throw Failure{options.output, "is one of the inputs (" + input + ")", kExitUsageError};
  }
}

// The build time, when one is given (--source-date-epoch, else
// SOURCE_DATE_EPOCH): it goes into the image and into the signature.
std::optional<std::uint32_t> BuildTime(const PackOptions& options) {
  std::string epoch = options.sourceDateEpoch;
  const char* epochVariable = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch.empty() && epochVariable && *epochVariable) epoch = epochVariable;
  if (epoch.empty()) return std::nullopt;
  const std::optional<std::uint32_t> buildTime = packer::ParseSourceDateEpoch(epoch);
  if (!buildTime)
    throw Failure{"", "the source date epoch \"" + epoch + "\" is not a count of seconds from 0 to 4294967295",
                  kExitUsageError};
  return buildTime;
}

// Signs a program that goes into the image (UNINSTAL.EXE; with --sign-saver
// the screen saver) before it is compressed: its bytes go to a temporary
// file beside the output (never committed, so removed on every exit),
// osslsigncode signs it there, and the signed bytes replace them. A program
// signed already is left as it is, and pack says so in one line (on
// standard error with --json, whose standard output is the report).
void SignProgram(const PackOptions& options, const packer::SigningOptions& signing, const char* role,
                 packer::PackInput* program) {
  if (!reader::IsPeImage(program->bytes))
    throw Failure{program->path, std::string("the ") + role + " is not a PE program, so --sign cannot sign it",
                  kExitUsageError};
  const reader::CertificateTable table = reader::ReadCertificateTable(program->bytes);
  if (table.state == reader::SignatureState::kDamaged)
    throw Failure{program->path, std::string("the ") + role + "'s certificate table is damaged: " + table.damage,
                  kExitDataError};
  if (table.state == reader::SignatureState::kSigned) {
    std::fprintf(options.json ? stderr : stdout, "%s: the %s is signed already; packed as it is\n",
                 program->path.c_str(), role);
    return;
  }
  try {
    OutputFile temporary(options.output, true);
    if (!temporary.Write(program->bytes.data(), program->bytes.size()))
      throw Failure{options.output, std::string("cannot write the ") + role + " to sign: " + std::strerror(errno),
                    kExitDataError};
    temporary.Finish();
    program->bytes = packer::SignImageFile(temporary.TemporaryPath(), signing);
  } catch (const packer::SigningError& e) {
    throw e.Within(options.sign, std::string("cannot sign the ") + role + " (" + program->path + "): ",
                   kExitDataError);
  } catch (const OutputFileError& e) {
    throw e.Within(options.output, "", kExitDataError);
  }
}

// Writes the image to the output once it reads back as packed; with --sign,
// the signature is appended before it takes its name, and the signed image
// must read back the same. Returns the signed bytes, or none unsigned.
std::vector<std::uint8_t> WriteVerifiedImage(const PackOptions& options, const packer::PackResult& result,
                                             const packer::StubImage& stub, const packer::PackRequest& request,
                                             const packer::SigningOptions& signing) {
  std::vector<std::uint8_t> signedImage;
  try {
    WriteCheckedFile(options.output, result.image, options.force, [&](const std::string& written) {
      packer::ThrowIfInterrupted();
      packer::VerifyPackedImage(written, stub, request);
      if (options.sign.empty()) return;
      packer::ThrowIfInterrupted();
      signedImage = packer::SignImageFile(written, signing);
      packer::VerifyPackedImage(written, stub, request);
    });
  } catch (const packer::PackError& e) {
    throw e.Within(options.output, "the written image did not verify: ", kExitDataError);
  } catch (const packer::SigningError& e) {
    throw e.Within(options.sign, "cannot sign the image: ", kExitDataError);
  }
  return signedImage;
}

// The winget package the options describe, its digest still empty; throws
// a usage failure when winget would not accept it, or when its folder is
// missing or holds the files already (without --force), before anything
// is written.
WingetPackage CheckWingetOptions(const PackOptions& options, const packer::PackRequest& request) {
  WingetPackage package;
  package.packageId = options.packageId;
  package.version = options.version;
  package.publisher = Windows1252ToUtf8(request.publisher);
  package.title = Windows1252ToUtf8(request.title);
  package.license = options.licenseName;
  package.copyright = Windows1252ToUtf8(request.copyright);
  package.url = Windows1252ToUtf8(request.url);
  package.installerUrl = options.installerUrl;
  if (std::string problem = WingetPackageProblem(package); !problem.empty())
    throw Failure{"", problem, kExitUsageError};
  std::error_code error;
  if (!fs::is_directory(options.winget, error))
    throw Failure{options.winget, "the winget manifest folder does not exist", kExitUsageError};
  for (const WingetFile& file : BuildWingetManifests(package)) {
    const fs::path path = fs::path(options.winget) / file.name;
    if (fs::exists(fs::symlink_status(path, error)) && !options.force)
      throw Failure{path.string(), "already exists (use --force to replace it)", kExitUsageError};
  }
  return package;
}

void WriteWingetManifests(const PackOptions& options, WingetPackage package, const std::vector<std::uint8_t>& image) {
  package.installerSha256 = Sha256Hex(image);
  for (const WingetFile& file : BuildWingetManifests(package)) {
    const std::string path = (fs::path(options.winget) / file.name).string();
    try {
      WriteCheckedFile(path, std::vector<std::uint8_t>(file.text.begin(), file.text.end()), options.force,
                       [](const std::string&) {});
    } catch (const OutputFileError& e) {
      throw e.Within(path, "", kExitDataError);
    }
  }
}

int RunPack(const PackOptions& options) {
  CheckOutputPath(options);
  // The signing inputs are read first, bounded, so that a wrong one is
  // refused before any packing; osslsigncode reads the certificate itself
  // and is handed the password.
  packer::SigningOptions signing;
  if (!options.sign.empty()) {
    packer::ReadBoundedFile(options.sign, packer::kMaxCertificateFileSize, "certificate");
    signing.certificate = options.sign;
    signing.timestampUrl = options.timestampUrl;
    signing.timeoutSeconds = options.signTimeout;
  }
  if (!options.signPasswordFile.empty()) signing.password = packer::ReadPasswordFile(options.signPasswordFile);
  std::string uninstaller;
  packer::PackRequest request = ReadPackRequest(options, &uninstaller);
  // The packer's checks before the winget manifest's, so that a bad
  // --version is named as such.
  packer::CheckPackRequest(request);
  std::optional<WingetPackage> winget;
  if (!options.winget.empty()) winget = CheckWingetOptions(options, request);
  std::string stubPath = options.stub;
  if (stubPath.empty()) stubPath = FindBuildOutput(kStubName);
  if (stubPath.empty())
    throw Failure{"", "no installer program: build the win32 preset, which makes installer.exe, or name one with --stub",
                  kExitUsageError};
  const packer::StubImage stub = ReadStub(stubPath);
  RefuseOutputAmongInputs(options, stubPath, uninstaller);
  const std::optional<std::uint32_t> buildTime = BuildTime(options);
  signing.signingTime = buildTime;

  if (!options.sign.empty()) {
    // SIGINT or SIGTERM while a program is signed: its temporary files go
    // before the guard ends the program by that signal.
    const packer::InterruptionGuard interruptions;
    SignProgram(options, signing, "uninstaller", &request.uninstaller);
    if (options.signSaver) SignProgram(options, signing, "screen saver", &request.saver);
  }

  packer::PackResult result;
  try {
    result = packer::PackInstaller(stub, request);
  } catch (const packer::StubError& e) {
    throw e.Within(stubPath, kNotTheInstallerProgram, kExitDataError);
  }
  if (buildTime && !packer::StampImageTime(result.image, *buildTime))
    throw Failure{stubPath, std::string(kNotTheInstallerProgram) + "its PE headers cannot be found", kExitDataError};
  {
    // SIGINT or SIGTERM while the output (and the winget manifest) is
    // written, checked and signed: the temporary files go (the writer's and
    // the signer's own unwinding) before the guard ends the program by that
    // signal.
    const packer::InterruptionGuard interruptions;
    std::vector<std::uint8_t> signedImage = WriteVerifiedImage(options, result, stub, request, signing);
    if (!signedImage.empty()) result.image = std::move(signedImage);
    if (winget) WriteWingetManifests(options, *winget, result.image);
  }
  PrintReport(options.output, result, options.json);
  return kExitOk;
}

// The exit codes of the installer (and uninstaller) that pack makes, from
// the table both programs share.
std::string InstallerExitCodes() {
  std::string text = "\n\nThe installer's switches: /S (silent), /LOG=FILE, /?. Its exit codes\n"
                     "(UNINSTAL.EXE's where they differ):\n";
  for (const format::ExitCodeMeaning& meaning : format::kExitCodeMeanings) {
    text += "  " + std::to_string(meaning.code) + "  " +
            (meaning.installer != nullptr ? meaning.installer : "-");
    if (meaning.uninstaller != nullptr && (meaning.installer == nullptr ||
                                           std::string(meaning.installer) != meaning.uninstaller))
      text += std::string(" (") + meaning.uninstaller + ")";
    text += "\n";
  }
  return text;
}

}  // namespace

void AddPackCommand(CLI::App& app, int& exitStatus) {
  CLI::App* command = app.add_subcommand(
      "pack", "Make an installer image from a screen saver and its files");
  command->footer(
      "Without --stub, the installer program is the installer.exe of the same build: beside this\n"
      "program, else ../win32/installer.exe from it, else the installed\n"
      "../share/saverkit/installer.exe. UNINSTAL.EXE is found the same way.\n\n"
      "Example:\n"
      "  saverkit pack -o NightSkySetup.exe --title \"Night Sky\" --saver night.scr --data night.dat \\\n"
      "    --media melody.mid --publisher \"Example Ltd\" --version 1.2.0 --url https://example.com/ \\\n"
      "    --sign signer.pfx --sign-password-file signer.pass" +
      InstallerExitCodes());
  auto options = std::make_shared<PackOptions>();
  command->add_option("-o,--output", options->output, "The installer to write (.exe)")->required();
  command->add_option("--title", options->title, "The screen saver's title")->required();
  command->add_option("--saver", options->saver, "The screen saver (.scr), installed as <title>.scr")->required();
  command->add_option("--data", options->data, "Its data file, installed as <title>.DAT")->required();
  command->add_option("--uninstaller", options->uninstaller, "The uninstaller (default: the build's UNINSTAL.EXE)");
  command->add_option("--media", options->media, "A media file (repeatable), installed in order");
  command->add_option("--license", options->license, "A licence text the user must accept (at most 65,535 bytes)");
  command->add_option("--number-base", options->numberBase, "Number of the first media file (default 1)");
  command->add_option("--kind", options->kind, "Media name prefix: juke (JUKE), juk_ (JUK_) or file (FILE)")
      ->check(CLI::IsMember({"juke", "juk_", "file"}));
  command->add_flag("--store", options->store, "Store every file as is, without compression");
  command->add_option("--stub", options->stub, "The installer program to extend");
  command->add_flag("--force", options->force, "Replace an existing output file");
  command->add_flag("--json", options->json, "Print one JSON object for scripts");
  command->add_option("--sign", options->sign,
                      "Sign the image, and the UNINSTAL.EXE inside it first, with Authenticode using this PKCS#12 "
                      "certificate (.pfx); runs osslsigncode");
  command->add_flag("--sign-saver", options->signSaver,
                    "Sign the screen saver (.scr) inside the image as well; one signed already is left as it is")
      ->needs("--sign");
  command->add_option("--sign-password-file", options->signPasswordFile,
                      "A file whose first line is the certificate's password (at most 64 KiB)")
      ->needs("--sign");
  command->add_option("--timestamp-url", options->timestampUrl, "An RFC 3161 time-stamping server for the signature")
      ->needs("--sign");
  command->add_option("--sign-timeout", options->signTimeout,
                      "Seconds osslsigncode may take, time stamp included, before it is stopped (default " +
                          std::to_string(packer::kDefaultSigningTimeoutSeconds) + ")")
      ->check(CLI::Range(1u, 86400u))
      ->needs("--sign");
  command->add_option("--source-date-epoch", options->sourceDateEpoch,
                      "Build time (seconds since 1970) for the image's time stamp and the signing time "
                      "(default: $SOURCE_DATE_EPOCH)");
  command->add_option("--publisher", options->publisher,
                      "The author: the image's CompanyName, and Publisher in Apps & Features");
  command->add_option("--version", options->version,
                      "The screen saver's version, 1 to 4 numbers such as 1.2.3: ProductVersion and FileVersion, "
                      "and DisplayVersion in Apps & Features");
  command->add_option("--url", options->url, "The author's web page (http:// or https://), registered as URLInfoAbout");
  command->add_option("--copyright", options->copyright, "The image's LegalCopyright");
  command->add_option("--winget", options->winget,
                      "Also write winget's manifest (schema 1.10.0) for the finished image into this folder")
      ->needs("--publisher")
      ->needs("--version");
  command->add_option("--package-id", options->packageId, "The winget package identifier (Publisher.Name)")
      ->needs("--winget");
  command->add_option("--installer-url", options->installerUrl, "Where winget downloads the image from")
      ->needs("--winget");
  command->add_option("--license-name", options->licenseName, "The winget License (default Proprietary)")
      ->needs("--winget");
  command->callback([options, &exitStatus] {
    exitStatus = RunCommandReportingFailures(options->output, [&] { return RunPack(*options); });
  });
}

}  // namespace commands
