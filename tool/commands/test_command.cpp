// saverkit test: decodes every entry of an installer image without writing
// a file and reports whether each would install soundly.
#include <cstdio>
#include <memory>
#include <string>

#include "tool/reader/entry_signature.h"
#include "tool/reader/image_entry_reader.h"
#include "tool/reader/payload_image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/text_output.h"

using codec::DecoderState;
using format::InstallRefusal;
using format::IsCompressed;
using format::PayloadEntry;

namespace commands {

using reader::ChunkSink;
using reader::EntryReport;
using reader::EntrySignature;
using reader::EntrySignatureState;
using reader::EntryVerdict;
using reader::ImageFile;
using reader::LoadPayloadImage;
using reader::PayloadImage;
using reader::ReadImageEntry;
using reader::SignatureState;
using reader::VerdictText;

namespace {

// A sound signed image has its certificate table last, after all that the
// installer reads. Anything else still installs, so it is a note, not a
// failure: the signature just does not vouch for all of the file.
void PrintSignatureNotes(const PayloadImage& image) {
  if (image.certificates.state != SignatureState::kSigned) return;
  if (!image.SignatureCoversPayload())
    std::printf("note: the signature does not cover the payload (certificate table at %s, payload ends at %s)\n",
                std::to_string(image.certificates.offset).c_str(), std::to_string(image.PayloadEnd()).c_str());
  if (image.BytesAfterSignature() > 0)
    std::printf("note: %s bytes of data after the signature, not covered by it\n",
                std::to_string(image.BytesAfterSignature()).c_str());
}

int RunTest(const std::string& path) {
  const PayloadImage image = LoadPayloadImage(path);
  ImageFile file;
  file.Open(path);
  auto decoder = std::make_unique<DecoderState>();  // the ring starts at zero, as in the installer
  // Entries that share stored data cost no more than the image could
  // honestly yield: past that the run stops (reader::WorkBudget).
  reader::WorkBudget budget(file.Size());
  // A PE entry (the screen saver, UNINSTAL.EXE) is held while it decodes,
  // so that its own certificate table is checked as the image's is.
  reader::PeEntryCollector collector;
  const ChunkSink sink = collector.Sink();
  std::size_t failed = 0;
  for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
    const PayloadEntry& entry = image.entries[i];
    std::string line = "entry " + std::to_string(i) + ": " +
                       (IsCompressed(entry) ? "compressed " + Thousands(entry.StoredSize) + " -> " +
                                                  Thousands(entry.ExpandedSize)
                                            : "stored " + Thousands(entry.StoredSize)) +
                       " bytes: ";
    // Only what the installer writes passes through the decoder, so that
    // every later entry starts from the ring the installer leaves.
    const InstallRefusal refusal = image.InstallerRefusalOf(i);
    if (refusal != InstallRefusal::kNone) {
      std::printf("%s%s\n", line.c_str(), RefusalText(refusal));
      ++failed;
      continue;
    }
    EntryReport report;
    collector.Start();
    ReadImageEntry(file, entry, *decoder, budget, sink, &report);
    const EntrySignature signature =
        report.verdict == EntryVerdict::kOk ? collector.Result() : EntrySignature{};
    if (signature.state == EntrySignatureState::kDamaged) {
      line += "damaged: its certificate table: " + signature.damage;
    } else {
      line += VerdictText(report.verdict);
      if (signature.state == EntrySignatureState::kSigned || signature.state == EntrySignatureState::kUnsigned)
        line += std::string(", ") + reader::EntrySignatureWord(signature.state);
      if (signature.state == EntrySignatureState::kTooLarge)
        line += ", a PE too large for its signature to be checked";
    }
    if (report.verdict == EntryVerdict::kOk && report.unreadBytes > 0)
      line += " (note: " + Thousands(report.unreadBytes) + " stored bytes left unread)";
    std::printf("%s\n", line.c_str());
    if (report.verdict != EntryVerdict::kOk || signature.state == EntrySignatureState::kDamaged) ++failed;
  }
  if (image.tableCutShort) PrintError(path, "the entry table runs past the end of the file");
  const bool signatureDamaged = image.certificates.state == SignatureState::kDamaged;
  if (signatureDamaged) PrintError(path, image.certificates.damage);
  PrintSignatureNotes(image);
  std::printf("%s: %zu entries, %zu sound, %zu failed%s%s\n", Printable(path).c_str(),
              image.entries.size(), image.entries.size() - failed, failed,
              image.tableCutShort ? ", entry table cut short" : "",
              signatureDamaged ? ", certificate table damaged" : "");
  return failed == 0 && !image.tableCutShort && !signatureDamaged ? kExitOk : kExitDataError;
}

}  // namespace

void AddTestCommand(CLI::App& app, int& exitStatus) {
  CLI::App* test = app.add_subcommand(
      "test", "Decode every entry of an installer image without writing files and report each");
  auto path = std::make_shared<std::string>();
  test->add_option("IMAGE", *path, "Installer image (.exe)")->required();
  test->footer(
      "A signed image's certificate table is checked too, and so is that of every entry that is a\n"
      "PE program (\"signed\" or \"unsigned\" on its line): a damaged one is an error. A signature\n"
      "that does not cover the payload, or data after the signature, is a note: the image still\n"
      "installs, and the exit status stays 0.\n"
      "Decoding stops, with exit status 1, past 24 bytes per byte of the image plus 4 MiB: only\n"
      "entries that decode the same stored data again and again get there.\n"
      "Exit status: 0 every entry sound, 1 damage or a failed entry, 2 bad arguments.\n"
      "\nExample:\n  saverkit test NightSkySetup.exe");
  test->callback([path, &exitStatus] {
    exitStatus = RunCommandReportingFailures(*path, [&] { return RunTest(*path); });
  });
}

}  // namespace commands
