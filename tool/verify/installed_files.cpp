// Installed files against their entries' decoded bytes.
#include "tool/verify/installed_files.h"

#include <memory>

#include "core/codec/decoder_core.h"
#include "core/format/install_decision.h"
#include "core/text/windows_case.h"
#include "tool/commands/sha256.h"
#include "tool/commands/text_output.h"
#include "tool/reader/image_entry_reader.h"
#include "tool/reader/work_budget.h"

namespace verify {

namespace {

struct DecodedEntry {
  std::uint32_t position = 0;
  std::string destination;
  std::uint64_t size = 0;
  std::string sha256;
  reader::EntryVerdict verdict = reader::EntryVerdict::kOk;
};

std::string EntryName(const DecodedEntry& entry) {
  return "entry " + std::to_string(entry.position) + " (" + entry.destination + ")";
}

}  // namespace

InstalledFilesReport CheckInstalledFiles(const reader::PayloadImage& image,
                                         const preview::InstallationEffects& effects,
                                         const std::string& windowsDirectory) {
  InstalledFilesReport report;
  char winDir[format::kPathBufferSize];
  if (!format::BuildWinDir(winDir, sizeof winDir, windowsDirectory.c_str())) winDir[0] = '\0';
  const std::string title = image.Title();
  const format::InstallPlace place{winDir, title.c_str(), image.numberBase, image.fileSize};

  reader::ImageFile file;
  file.Open(image.path);
  auto decoder = std::make_unique<codec::DecoderState>();  // the ring starts at zero, as in the installer
  reader::WorkBudget budget(file.Size());
  std::vector<DecodedEntry> decoded;
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    const format::PayloadEntry& entry = image.entries[i];
    char destination[format::kPathBufferSize];
    char fullPath[4 * format::kPathBufferSize];
    const format::InstallRefusal refusal =
        format::InstallDestination(place, entry, i, destination, fullPath, sizeof fullPath);
    if (refusal != format::InstallRefusal::kNone) {
      // Not decoded: the installer leaves the ring as it is.
      report.notes.push_back("entry " + std::to_string(i) + " is not installed: " + commands::RefusalText(refusal));
      continue;
    }
    DecodedEntry result;
    result.position = i;
    result.destination = destination;
    commands::Sha256 sha;
    const bool keep = i == 2;
    const reader::ChunkSink sink = [&](const std::uint8_t* data, std::size_t size) {
      sha.Update(data, size);
      if (keep && report.uninstaller.size() + size <= kLargestUninstaller)
        report.uninstaller.insert(report.uninstaller.end(), data, data + size);
      return true;
    };
    reader::EntryReport entryReport;
    reader::ReadImageEntry(file, entry, *decoder, budget, sink, &entryReport);
    result.size = entryReport.written;
    result.sha256 = sha.FinishHex();
    result.verdict = entryReport.verdict;
    if (keep)
      report.uninstallerKept = entryReport.verdict == reader::EntryVerdict::kOk &&
                               report.uninstaller.size() == entryReport.written;
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
    if (entry.verdict != reader::EntryVerdict::kOk) finding += std::string(", ") + reader::VerdictText(entry.verdict);
    report.findings.push_back(finding + ")");
  }
  return report;
}

}  // namespace verify
