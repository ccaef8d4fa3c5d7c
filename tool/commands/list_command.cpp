// saverkit list: what an installer image holds and where it installs it.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "saverkit/image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/json_text.h"
#include "tool/commands/text_output.h"

namespace commands {

using saverkit::Entry;
using saverkit::Image;
using saverkit::ProgramSignature;
using saverkit::Role;
using saverkit::SignatureState;

// Each entry's program signature and, when damaged, what is wrong.
using ProgramSignatures = std::vector<std::pair<ProgramSignature, std::string>>;

namespace {

const char* ListedRole(Role role) {
  switch (role) {
    case Role::kSaver: return "screen saver";
    case Role::kData: return "data file";
    case Role::kUninstaller: return "uninstaller";
    case Role::kMedia: break;
  }
  return "media";
}

// The size column and key of a stored entry's expanded size: the table
// holds 0 for it.
std::uint32_t ExpandedSize(const Entry& entry) { return entry.compressed ? entry.size : 0; }

std::string SignatureLine(const Image& image) {
  const saverkit::Signature& table = image.signature();
  switch (table.state) {
    case SignatureState::kUnsigned: return "none";
    case SignatureState::kDamaged: return "damaged (" + table.damage + ")";
    case SignatureState::kSigned: break;
  }
  char where[64];
  std::snprintf(where, sizeof where, "0x%X", table.offset);
  return std::string("signed (certificate table at ") + where + ", " + Thousands(table.size) + " bytes)";
}

// The installer sums the installed sizes in 32 bits, so from 4 GiB on it
// believes in far less than it will write.
bool InstallTotalWraps(const Image& image) { return image.installTotalTrue() > 0xFFFFFFFFu; }


// A VERSIONINFO text for the listing, "-" when absent.
std::string Shown(const std::optional<std::string>& text) { return text ? Printable(*text) : "-"; }

// A VERSIONINFO text for JSON, null when absent.
nlohmann::ordered_json JsonField(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(Windows1252ToUtf8(*text)) : nlohmann::ordered_json(nullptr);
}

const char* VersionInfoState(const Image& image) {
  switch (image.versionInfoState()) {
    case saverkit::VersionInfoState::kAbsent: return "absent";
    case saverkit::VersionInfoState::kDamaged: return "damaged";
    case saverkit::VersionInfoState::kRead: break;
  }
  return "read";
}

std::uint32_t LicenceLength(const Image& image) { return static_cast<std::uint32_t>(image.licence().size()); }

void PrintText(const Image& image, const ProgramSignatures& signatures) {
  std::printf("Title:            %s\n", Printable(image.title()).c_str());
  std::printf("Publisher:        %s\n", Shown(image.publisher()).c_str());
  std::printf("Version:          %s\n", Shown(image.version()).c_str());
  if (image.url()) std::printf("Web page:         %s\n", Shown(image.url()).c_str());
  if (image.copyright()) std::printf("Copyright:        %s\n", Shown(image.copyright()).c_str());
  if (image.versionInfoState() == saverkit::VersionInfoState::kDamaged)
    std::printf("Version info:     damaged (what came before the damage is shown)\n");
  std::printf("Installer:        %s\n", image.installerIdentity().empty() ? "unknown (no SAVERKIT resource)"
                                                                          : image.installerIdentity().c_str());
  std::printf("Licence:          %s bytes\n", Thousands(LicenceLength(image)).c_str());
  std::printf("Number base:      %u\n", image.numberBase());
  std::printf("Manifest offset:  0x%X (%s)\n", image.manifestOffset(), Thousands(image.manifestOffset()).c_str());
  // The path goes last: it is the one column without a useful width.
  std::printf("\n%4s  %-12s  %13s  %13s  %-10s  %-9s  %s\n", "Pos", "Role", "Stored", "Expanded", "Method",
              "Signature", "Installed path");
  for (const Entry& entry : image.entries()) {
    std::printf("%4u  %-12s  %13s  %13s  %-10s  %-9s  %s\n", entry.position, ListedRole(entry.role),
                Thousands(entry.storedSize).c_str(), entry.compressed ? Thousands(entry.size).c_str() : "-",
                entry.compressed ? "compressed" : "stored",
                saverkit::ProgramSignatureWord(signatures[entry.position].first), Printable(entry.path).c_str());
  }
  std::printf("\nInstall total:    %s bytes", Thousands(image.installTotal()).c_str());
  if (InstallTotalWraps(image))
    std::printf(" (the installer's 32-bit count; the entries hold %llu bytes)",
                static_cast<unsigned long long>(image.installTotalTrue()));
  std::printf("\n");
  std::printf("Signature:        %s\n", SignatureLine(image).c_str());
}

// An entry's `signed` key: whether a PE entry carries a sound certificate
// table; null for an entry that is no PE or was not checked.
const char* SignedJson(ProgramSignature state) {
  switch (state) {
    case ProgramSignature::kSigned: return "true";
    case ProgramSignature::kUnsigned:
    case ProgramSignature::kDamaged: return "false";
    case ProgramSignature::kNotPe:
    case ProgramSignature::kNotRead:
    case ProgramSignature::kTooLarge: break;
  }
  return "null";
}

// Written one entry at a time, so that memory stays that of the entry table
// however many entries the image declares.
void PrintJson(const Image& image, const ProgramSignatures& signatures) {
  nlohmann::ordered_json head;
  head["title"] = Windows1252ToUtf8(image.title());
  head["publisher"] = JsonField(image.publisher());
  head["version"] = JsonField(image.version());
  head["url"] = JsonField(image.url());
  head["copyright"] = JsonField(image.copyright());
  head["version_info"] = VersionInfoState(image);
  head["installer_program"] = image.installerIdentity().empty() ? nlohmann::ordered_json(nullptr)
                                                                : nlohmann::ordered_json(image.installerIdentity());
  head["license_length"] = LicenceLength(image);
  head["number_base"] = image.numberBase();
  head["manifest_offset"] = image.manifestOffset();
  head["install_total_bytes"] = image.installTotal();
  head["install_total_wraps"] = InstallTotalWraps(image);
  head["install_total_true_bytes"] = image.installTotalTrue();
  head["signed"] = image.signature().state == SignatureState::kSigned;
  if (image.signature().state == SignatureState::kDamaged) head["signature_damage"] = image.signature().damage;
  std::string text = JsonText(head);
  text.pop_back();  // the closing brace: the entries follow
  std::fputs(text.c_str(), stdout);
  std::fputs(",\"entries\":[", stdout);
  // Each entry written by hand into one reused buffer: a million entries
  // through a JSON library's objects take seconds.
  std::string item;
  for (const Entry& entry : image.entries()) {
    const auto& [signature, damage] = signatures[entry.position];
    item.assign(entry.position > 0 ? ",{\"position\":" : "{\"position\":");
    item += std::to_string(entry.position);
    item += ",\"role\":\"";
    item += ListedRole(entry.role);
    item += "\",\"path\":";
    AppendJsonString(item, entry.path);
    item += ",\"data_offset\":";
    item += std::to_string(entry.dataOffset);
    item += ",\"stored_size\":";
    item += std::to_string(entry.storedSize);
    item += ",\"expanded_size\":";
    item += std::to_string(ExpandedSize(entry));
    item += entry.compressed ? ",\"compressed\":true,\"kind\":" : ",\"compressed\":false,\"kind\":";
    item += std::to_string(entry.kind);
    item += ",\"signed\":";
    item += SignedJson(signature);
    if (signature == ProgramSignature::kDamaged) {
      item += ",\"signature_damage\":";
      AppendJsonString(item, damage);
    }
    item += '}';
    std::fwrite(item.data(), 1, item.size(), stdout);
  }
  std::fputs("]}\n", stdout);
}

// The licence text alone, for reading or piping on; nothing when the image
// has none.
int PrintLicence(const Image& image) {
  const std::string text = PrintableLines(image.licence());
  std::fputs(text.c_str(), stdout);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
  return kExitOk;
}

int RunList(const std::string& path, bool json, bool licence) {
  const Image image = Image::Open(path);
  if (licence) return PrintLicence(image);
  // Whether each program inside is signed needs its decoded bytes: the
  // entries are decoded in order, as test does.
  const ProgramSignatures signatures = image.ProgramSignatures();
  if (json) {
    PrintJson(image, signatures);
  } else {
    PrintText(image, signatures);
  }
  // A damaged table inside is shown, not an error, as the image's own is:
  // test fails it.
  int status = kExitOk;
  for (const Entry& entry : image.entries()) {
    if (!entry.dataInsideImage) {
      PrintError(path, "entry " + std::to_string(entry.position) + ": data lies beyond the end of the file");
      status = kExitDataError;
    }
  }
  for (const Entry& entry : image.entries()) {
    if (entry.tooLarge) {
      PrintError(path, "entry " + std::to_string(entry.position) + ": " +
                           saverkit::EntryStatusText(saverkit::EntryStatus::kTooLarge));
      status = kExitDataError;
    }
  }
  if (InstallTotalWraps(image)) {
    PrintError(path, "the install total passes 4 GiB, so the installer's 32-bit count wraps to " +
                         Thousands(image.installTotal()) + " bytes");
    status = kExitDataError;
  }
  if (image.tableCutShort()) {
    PrintError(path, "the entry table runs past the end of the file");
    status = kExitDataError;
  }
  return status;
}

}  // namespace

void AddListCommand(CLI::App& app, int& exitStatus) {
  CLI::App* list = app.add_subcommand("list", "List the files an installer image installs");
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto licence = std::make_shared<bool>(false);
  list->add_option("IMAGE", *path, "Installer image (.exe)")->required();
  CLI::Option* jsonFlag = list->add_flag("--json", *json, "Print one JSON object for scripts");
  list->add_flag("--licence,--license", *licence,
                 "Print the licence text the installer shows (Windows-1252 as UTF-8), nothing else")
      ->excludes(jsonFlag);
  list->footer("\nExamples:\n  saverkit list NightSkySetup.exe\n  saverkit list --licence NightSkySetup.exe | less");
  list->callback([path, json, licence, &exitStatus] {
    exitStatus = RunCommandReportingFailures(*path, [&] { return RunList(*path, *json, *licence); });
  });
}

}  // namespace commands
