// saverkit list: what an installer image holds and where it installs it.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/format/install_names.h"
#include "tool/reader/entry_signature.h"
#include "tool/reader/image_entry_reader.h"
#include "tool/reader/payload_image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/text_output.h"

using format::BuildInstalledPath;
using format::ExpandsPastSignedRange;
using format::InstalledSize;
using format::IsCompressed;
using format::PayloadEntry;
using format::kDataFilePosition;
using format::kPathBufferSize;
using format::kScreenSaverPosition;
using format::kUninstallerPosition;

namespace commands {

using reader::CertificateTable;
using reader::EntrySignature;
using reader::EntrySignatureState;
using reader::EntryVerdict;
using reader::LoadPayloadImage;
using reader::PayloadImage;
using reader::SignatureState;
using reader::VerdictText;

namespace {

const char* RoleName(std::uint32_t position) {
  switch (position) {
    case kScreenSaverPosition: return "screen saver";
    case kDataFilePosition: return "data file";
    case kUninstallerPosition: return "uninstaller";
    default: return "media";
  }
}

// The installed path relative to the Windows directory, as the installer
// builds it. The buffer is larger than the installer's own so that a path
// the installer would refuse as too long is still shown.
std::string RelativePath(const PayloadImage& image, std::uint32_t position) {
  char path[4 * kPathBufferSize];
  const std::string title = image.Title();
  if (!BuildInstalledPath(path, sizeof path, "", title.c_str(), position, image.entries[position],
                          image.numberBase))
    return std::string();
  return path;
}

std::string SignatureLine(const PayloadImage& image) {
  const CertificateTable& table = image.certificates;
  switch (table.state) {
    case SignatureState::kUnsigned: return "none";
    case SignatureState::kDamaged: return "damaged (" + table.damage + ")";
    case SignatureState::kSigned: break;
  }
  char where[64];
  std::snprintf(where, sizeof where, "0x%X", table.offset);
  return std::string("signed (certificate table at ") + where + ", " + Thousands(table.size) + " bytes)";
}

// The installed sizes summed without wrapping; the installer sums them in
// 32 bits, so from 4 GiB on it believes in far less than it will write.
std::uint64_t TrueInstallTotal(const PayloadImage& image) {
  std::uint64_t total = 0;
  for (const PayloadEntry& entry : image.entries) total += InstalledSize(entry);
  return total;
}

bool InstallTotalWraps(const PayloadImage& image) { return TrueInstallTotal(image) > 0xFFFFFFFFu; }

// JSON text of values from the image or the command line, in plain ASCII:
// every character from DEL on is a \u escape, so no C1 control (which some
// terminals obey) reaches a terminal raw, and bytes that are not UTF-8
// become U+FFFD rather than stopping the output.
std::string JsonText(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

// A VERSIONINFO text for the listing, "-" when absent.
std::string Shown(const PayloadImage& image, format::VersionField field) {
  const std::string text = image.VersionText(field);
  return text.empty() ? "-" : Printable(text);
}

// A VERSIONINFO text for JSON, null when absent.
nlohmann::ordered_json JsonField(const PayloadImage& image, format::VersionField field) {
  const std::string text = image.VersionText(field);
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(Windows1252ToUtf8(text));
}

const char* VersionInfoState(const PayloadImage& image) {
  switch (image.versionInfo.status) {
    case format::VersionInfoStatus::kAbsent: return "absent";
    case format::VersionInfoStatus::kDamaged: return "damaged";
    case format::VersionInfoStatus::kRead: break;
  }
  return "read";
}

void PrintText(const PayloadImage& image, const std::vector<EntrySignature>& signatures) {
  std::printf("Title:            %s\n", Printable(image.Title()).c_str());
  std::printf("Publisher:        %s\n", Shown(image, format::kCompanyName).c_str());
  std::printf("Version:          %s\n", Shown(image, format::kProductVersion).c_str());
  if (!image.VersionText(format::kUrl).empty())
    std::printf("Web page:         %s\n", Shown(image, format::kUrl).c_str());
  if (!image.VersionText(format::kLegalCopyright).empty())
    std::printf("Copyright:        %s\n", Shown(image, format::kLegalCopyright).c_str());
  if (image.versionInfo.status == format::VersionInfoStatus::kDamaged)
    std::printf("Version info:     damaged (what came before the damage is shown)\n");
  std::printf("Installer:        %s\n",
              image.installerProgram.empty() ? "unknown (no SAVERKIT resource)" : image.installerProgram.c_str());
  std::printf("Licence:          %s bytes\n", Thousands(image.licenseLength).c_str());
  std::printf("Number base:      %u\n", image.numberBase);
  std::printf("Manifest offset:  0x%X (%s)\n", image.walk.manifestOffset,
              Thousands(image.walk.manifestOffset).c_str());
  // The path goes last: it is the one column without a useful width.
  std::printf("\n%4s  %-12s  %13s  %13s  %-10s  %-9s  %s\n", "Pos", "Role", "Stored", "Expanded", "Method",
              "Signature", "Installed path");
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    const PayloadEntry& entry = image.entries[i];
    const std::string path = RelativePath(image, i);
    std::printf("%4u  %-12s  %13s  %13s  %-10s  %-9s  %s\n", i, RoleName(i),
                Thousands(entry.StoredSize).c_str(),
                IsCompressed(entry) ? Thousands(entry.ExpandedSize).c_str() : "-",
                IsCompressed(entry) ? "compressed" : "stored", reader::EntrySignatureWord(signatures[i].state),
                Printable(path).c_str());
  }
  std::printf("\nInstall total:    %s bytes", Thousands(image.InstallTotalBytes()).c_str());
  if (InstallTotalWraps(image))
    std::printf(" (the installer's 32-bit count; the entries hold %llu bytes)",
                static_cast<unsigned long long>(TrueInstallTotal(image)));
  std::printf("\n");
  std::printf("Signature:        %s\n", SignatureLine(image).c_str());
}

// An entry's `signed` key: whether a PE entry carries a sound certificate
// table; null for an entry that is no PE or was not checked.
nlohmann::ordered_json SignedJson(EntrySignatureState state) {
  switch (state) {
    case EntrySignatureState::kSigned: return true;
    case EntrySignatureState::kUnsigned:
    case EntrySignatureState::kDamaged: return false;
    case EntrySignatureState::kNotPe:
    case EntrySignatureState::kNotRead:
    case EntrySignatureState::kTooLarge: break;
  }
  return nullptr;
}

// Written one entry at a time, so that memory stays that of the entry table
// however many entries the image declares.
void PrintJson(const PayloadImage& image, const std::vector<EntrySignature>& signatures) {
  nlohmann::ordered_json head;
  head["title"] = Windows1252ToUtf8(image.Title());
  head["publisher"] = JsonField(image, format::kCompanyName);
  head["version"] = JsonField(image, format::kProductVersion);
  head["url"] = JsonField(image, format::kUrl);
  head["copyright"] = JsonField(image, format::kLegalCopyright);
  head["version_info"] = VersionInfoState(image);
  head["installer_program"] =
      image.installerProgram.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(image.installerProgram);
  head["license_length"] = image.licenseLength;
  head["number_base"] = image.numberBase;
  head["manifest_offset"] = image.walk.manifestOffset;
  head["install_total_bytes"] = image.InstallTotalBytes();
  head["install_total_wraps"] = InstallTotalWraps(image);
  head["install_total_true_bytes"] = TrueInstallTotal(image);
  head["signed"] = image.certificates.state == SignatureState::kSigned;
  if (image.certificates.state == SignatureState::kDamaged) head["signature_damage"] = image.certificates.damage;
  std::string text = JsonText(head);
  text.pop_back();  // the closing brace: the entries follow
  std::fputs(text.c_str(), stdout);
  std::fputs(",\"entries\":[", stdout);
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    const PayloadEntry& entry = image.entries[i];
    nlohmann::ordered_json item{{"position", i},
                                      {"role", RoleName(i)},
                                      {"path", Windows1252ToUtf8(RelativePath(image, i))},
                                      {"data_offset", entry.DataOffset},
                                      {"stored_size", entry.StoredSize},
                                      {"expanded_size", entry.ExpandedSize},
                                      {"compressed", IsCompressed(entry)},
                                      {"kind", entry.Kind},
                                      {"signed", SignedJson(signatures[i].state)}};
    if (signatures[i].state == EntrySignatureState::kDamaged) item["signature_damage"] = signatures[i].damage;
    if (i > 0) std::fputc(',', stdout);
    std::fputs(JsonText(item).c_str(), stdout);
  }
  std::fputs("]}\n", stdout);
}

int RunList(const std::string& path, bool json) {
  const PayloadImage image = LoadPayloadImage(path);
  // Whether each program inside is signed needs its decoded bytes: the
  // entries are decoded in order, as test does (see ReadEntrySignatures).
  const std::vector<EntrySignature> signatures = reader::ReadEntrySignatures(image);
  if (json) {
    PrintJson(image, signatures);
  } else {
    PrintText(image, signatures);
  }
  // A damaged table inside is shown, not an error, as the image's own is:
  // test fails it.
  int status = kExitOk;
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    if (!image.DataInsideFile(image.entries[i])) {
      PrintError(path, "entry " + std::to_string(i) + ": data lies beyond the end of the file");
      status = kExitDataError;
    }
  }
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    if (ExpandsPastSignedRange(image.entries[i])) {
      PrintError(path, "entry " + std::to_string(i) + ": " + VerdictText(EntryVerdict::kTooLarge));
      status = kExitDataError;
    }
  }
  if (InstallTotalWraps(image)) {
    PrintError(path, "the install total passes 4 GiB, so the installer's 32-bit count wraps to " +
                         Thousands(image.InstallTotalBytes()) + " bytes");
    status = kExitDataError;
  }
  if (image.tableCutShort) {
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
  list->add_option("IMAGE", *path, "Installer image (.exe)")->required();
  list->add_flag("--json", *json, "Print one JSON object for scripts");
  list->callback([path, json, &exitStatus] {
    exitStatus = RunCommandReportingFailures(*path, [&] { return RunList(*path, *json); });
  });
}

}  // namespace commands
