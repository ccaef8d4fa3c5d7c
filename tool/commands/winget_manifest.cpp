// Writing the winget manifest: YAML with every text value double-quoted,
// so that a version such as 1.10 stays a string and no value is read as
// YAML syntax.
#include "tool/commands/winget_manifest.h"

#include <cstring>

namespace commands {

using format::ExitCode;

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Characters, not bytes: winget's lengths count code points.
std::size_t Characters(const std::string& utf8) {
  std::size_t count = 0;
  for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
  return count;
}

bool IsWebAddress(const std::string& url) {
  return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
}

// winget's PackageIdentifier: 2 to 8 dot-separated parts of 1 to 32
// characters, none blank, a control or one of \ / : * ? " < > |.
bool IsPackageIdentifier(const std::string& id) {
  if (id.size() > 128) return false;
  std::size_t parts = 0;
  std::size_t length = 0;
  for (std::size_t i = 0; i <= id.size(); ++i) {
    if (i == id.size() || id[i] == '.') {
      if (length == 0 || length > 32) return false;
      ++parts;
      length = 0;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(id[i]);
    if (c <= 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
    if ((c & 0xC0) != 0x80) ++length;
  }
  return parts >= 2 && parts <= 8;
}

std::string Header(const char* type) {
  return std::string("# Written by saverkit pack.\n# yaml-language-server: $schema=https://aka.ms/winget-manifest.") +
         type + "." + kWingetManifestVersion + ".schema.json\n\n";
}

std::string Footer(const char* type) {
  return std::string("ManifestType: ") + type + "\nManifestVersion: " + kWingetManifestVersion + "\n";
}

}  // namespace

std::string WingetPackageProblem(const WingetPackage& package) {
  if (!IsPackageIdentifier(package.packageId))
    return "--package-id \"" + package.packageId +
           "\" is not a winget identifier (Publisher.Name: 2 to 8 parts of 1 to 32 characters, no blank)";
  if (package.version.empty()) return "--winget needs --version";
  if (Characters(package.publisher) < 2 || Characters(package.publisher) > 256)
    return "--winget needs a --publisher of 2 to 256 characters";
  if (Characters(package.title) < 2) return "winget needs a title of 2 characters or more";
  if (Characters(package.license) < 3 || Characters(package.license) > 512)
    return "--license-name must have 3 to 512 characters";
  if (!package.copyright.empty() && Characters(package.copyright) < 3)
    return "winget needs a --copyright of 3 characters or more";
  if (!IsWebAddress(package.installerUrl) || package.installerUrl.size() < 9 || package.installerUrl.size() > 2048)
    return "--installer-url must be an http:// or https:// address of at most 2048 characters";
  for (unsigned char c : package.installerUrl)
    if (c <= 0x20 || c == 0x7F) return "--installer-url holds a blank or a control character";
  return std::string();
}

const char* WingetResponse(ExitCode code) {
  switch (code) {
    case format::kExitInstalled:
    case format::kExitMediaUnplayable:
      return nullptr;
    // The decoder's write came up short: on a local disk, it filled up
    // after the check (or a quota stopped it).
    case format::kExitShortWrite: return "diskFull";
    case format::kExitCancelled: return "cancelledByUser";
    case format::kExitDiskSpace: return "diskFull";
    // What cannot be written is mostly a screen saver that is running.
    case format::kExitFilesFailed: return "fileInUse";
    // A damaged download: a new one, or the publisher, helps.
    case format::kExitDamaged: return "contactSupport";
    case format::kExitBadArguments: return "invalidParameter";
    // The user answered No to the elevation prompt.
    case format::kExitElevationRefused: return "cancelledByUser";
  }
  return nullptr;
}

std::vector<WingetFile> BuildWingetManifests(const WingetPackage& package) {
  const std::string identity =
      "PackageIdentifier: " + Quoted(package.packageId) + "\nPackageVersion: " + Quoted(package.version) + "\n";
  std::vector<WingetFile> files;

  files.push_back({package.packageId + ".yaml", Header("version") + identity + "DefaultLocale: " +
                                                    kWingetLocale + "\n" + Footer("version")});

  std::string locale = Header("defaultLocale") + identity + "PackageLocale: " + kWingetLocale + "\n";
  locale += "Publisher: " + Quoted(package.publisher) + "\n";
  locale += "PackageName: " + Quoted(package.title) + "\n";
  if (!package.url.empty()) locale += "PackageUrl: " + Quoted(package.url) + "\n";
  locale += "License: " + Quoted(package.license) + "\n";
  if (!package.copyright.empty()) locale += "Copyright: " + Quoted(package.copyright) + "\n";
  locale += "ShortDescription: " + Quoted(package.title + " screen saver") + "\n";
  files.push_back({package.packageId + ".locale." + kWingetLocale + ".yaml", locale + Footer("defaultLocale")});

  std::string installer = Header("installer") + identity;
  installer += "InstallerType: exe\nScope: machine\n";
  // /S shows nothing at all; there is no progress-only mode, so it serves
  // winget's silent-with-progress installs as well.
  installer += "InstallModes:\n  - interactive\n  - silent\n";
  installer += "InstallerSwitches:\n  Silent: \"/S\"\n  SilentWithProgress: \"/S\"\n  Log: \"/LOG=<LOGPATH>\"\n";
  installer += "InstallerSuccessCodes:\n";
  std::string expected = "ExpectedReturnCodes:\n";
  for (int code = format::kExitShortWrite; code <= format::kExitElevationRefused; ++code) {
    const char* response = WingetResponse(static_cast<ExitCode>(code));
    if (response == nullptr) {
      installer += "  - " + std::to_string(code) + "\n";
    } else {
      expected += "  - InstallerReturnCode: " + std::to_string(code) + "\n    ReturnResponse: " + response + "\n";
    }
  }
  installer += expected;
  installer += "AppsAndFeaturesEntries:\n  - DisplayName: " + Quoted(package.title) +
               "\n    Publisher: " + Quoted(package.publisher) + "\n    DisplayVersion: " + Quoted(package.version) +
               "\n";
  installer += "Installers:\n  - Architecture: x86\n    InstallerUrl: " + Quoted(package.installerUrl) +
               "\n    InstallerSha256: " + package.installerSha256 + "\n";
  files.push_back({package.packageId + ".installer.yaml", installer + Footer("installer")});
  return files;
}

}  // namespace commands
