// The winget multi-file manifest (schema 1.10.0) of a packed installer:
// <id>.yaml (version), <id>.locale.en-US.yaml (defaultLocale) and
// <id>.installer.yaml (installer), as `saverkit pack --winget DIR` writes
// them beside each other in DIR.
#pragma once

#include <string>
#include <vector>

#include "core/format/exit_codes.h"

namespace commands {

constexpr char kWingetManifestVersion[] = "1.10.0";
constexpr char kWingetLocale[] = "en-US";

// Everything in UTF-8.
struct WingetPackage {
  std::string packageId;     // Publisher.Name: 2 to 8 parts of 1 to 32 characters
  std::string version;       // PackageVersion and DisplayVersion
  std::string publisher;
  std::string title;         // PackageName and DisplayName
  std::string license;       // License
  std::string copyright;     // Copyright; empty: left out
  std::string url;           // PackageUrl; empty: left out
  std::string installerUrl;  // where winget downloads the image
  std::string installerSha256;  // of the finished (signed) image, 64 hex digits
};

// Empty when winget's schema accepts what `package` holds (the digest
// aside); else what is wrong, naming the option.
std::string WingetPackageProblem(const WingetPackage& package);

// winget's response to one of the installer's exit codes, or null for a
// code winget must count as success: kExitInstalled (which winget knows), and
// kExitMediaUnplayable (installed, not activated), listed in
// InstallerSuccessCodes.
const char* WingetResponse(format::ExitCode code);

struct WingetFile {
  std::string name;  // inside the manifest folder
  std::string text;
};

// The three files, in the order version, defaultLocale, installer.
std::vector<WingetFile> BuildWingetManifests(const WingetPackage& package);

}  // namespace commands
