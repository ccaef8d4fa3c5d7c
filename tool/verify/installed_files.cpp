// Each entry the installer writes decoded in its order and compared with
// the file the installation left.
#include "tool/verify/installed_files.h"

#include "core/format/install_names.h"
#include "core/text/windows_case.h"
#include "tool/commands/sha256.h"

namespace verify {

namespace {

struct DecodedEntry {
  std::uint32_t position = 0;
  std::string destination;
  std::uint64_t size = 0;
  std::string sha256;
  saverkit::EntryStatus status = saverkit::EntryStatus::kOk;
};

std::string EntryName(const DecodedEntry& entry) {
  return "entry " + std::to_string(entry.position) + " (" + entry.destination + ")";
}

}  // namespace

InstalledFilesReport CheckInstalledFiles(const saverkit::Image& image,
                                         const preview::InstallationEffects& effects,
                                         const std::string& windowsDirectory) {
  InstalledFilesReport report;
  char winDir[format::kPathBufferSize];  // with its backslash, also at a drive's root
  if (!format::BuildWinDir(winDir, sizeof winDir, windowsDirectory.c_str())) winDir[0] = '\0';
  saverkit::EntryReader reader(image);
  std::vector<DecodedEntry> decoded;
  for (const saverkit::Entry& entry : image.entries()) {
    if (!entry.installed()) {
      // Not decoded: the installer leaves the ring as it is.
      report.notes.push_back("entry " + std::to_string(entry.position) +
                             " is not installed: " + saverkit::RefusalText(entry.refusal));
      continue;
    }
    DecodedEntry result;
    result.position = entry.position;
    result.destination = winDir + entry.path;
    commands::Sha256 sha;
    const bool keep = entry.role == saverkit::Role::kUninstaller;
    const saverkit::EntryResult decodedEntry = reader.Decode(entry.position, [&](const std::uint8_t* data, std::size_t size) {
      sha.Update(data, size);
      if (keep && report.uninstaller.size() + size <= kLargestUninstaller)
        report.uninstaller.insert(report.uninstaller.end(), data, data + size);
      return true;
    });
    result.size = decodedEntry.written;
    result.sha256 = sha.FinishHex();
    result.status = decodedEntry.status;
    if (keep)
      report.uninstallerKept = decodedEntry.status == saverkit::EntryStatus::kOk &&
                               report.uninstaller.size() == decodedEntry.written;
    decoded.push_back(result);
  }

  for (std::size_t k = 0; k < decoded.size(); ++k) {
    const DecodedEntry& entry = decoded[k];
    // A later entry written to the same file (as Windows compares names)
    // leaves its bytes there, not this entry's.
    const DecodedEntry* later = nullptr;
    for (std::size_t j = k + 1; j < decoded.size(); ++j)
      if (text::SameWindowsName(decoded[j].destination, entry.destination)) later = &decoded[j];
    if (later != nullptr) {
      if (later->sha256 != entry.sha256)
        report.findings.push_back(EntryName(entry) + ": replaced by entry " + std::to_string(later->position) +
                                  ", which the installer writes to the same file");
      continue;
    }
    const preview::FileEffect* installed = nullptr;
    for (const preview::FileEffect& effect : effects.files)
      if (!effect.directory && effect.change != preview::EffectChange::kRemoved &&
          text::SameWindowsName(effect.path, entry.destination))
        installed = &effect;
    ++report.checked;
    if (installed == nullptr || installed->sha256.empty()) {
      report.findings.push_back(EntryName(entry) + ": not installed");
      continue;
    }
    if (installed->sha256 == entry.sha256) continue;
    std::string finding = EntryName(entry) + ": the installed file (" + std::to_string(installed->size) +
                          " bytes) is not the entry's bytes (" + std::to_string(entry.size) + " bytes";
    if (entry.status != saverkit::EntryStatus::kOk) finding += std::string(", ") + saverkit::EntryStatusText(entry.status);
    report.findings.push_back(finding + ")");
  }
  return report;
}

}  // namespace verify
