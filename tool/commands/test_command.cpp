// saverkit test: decodes every entry of an installer image without writing
// a file and reports whether each would install soundly.
#include <cstdio>
#include <string>

#include "saverkit/image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/text_output.h"

namespace commands {

using saverkit::Entry;
using saverkit::EntryResult;
using saverkit::EntryStatus;
using saverkit::Image;
using saverkit::ProgramSignature;
using saverkit::SignatureState;

namespace {

// A sound signed image has its certificate table last, after all that the
// installer reads. Anything else still installs, so it is a note, not a
// failure: the signature just does not vouch for all of the file.
void PrintSignatureNotes(const Image& image) {
  const saverkit::Signature& signature = image.signature();
  if (signature.state != SignatureState::kSigned) return;
  if (!signature.coversPayload)
    std::printf("note: the signature does not cover the payload (certificate table at %s, payload ends at %s)\n",
                std::to_string(signature.offset).c_str(), std::to_string(image.payloadEnd()).c_str());
  if (signature.bytesAfter > 0)
    std::printf("note: %s bytes of data after the signature, not covered by it\n",
                std::to_string(signature.bytesAfter).c_str());
}

int RunTest(const std::string& path) {
  const Image image = Image::Open(path);
  // One reader for the run: the ring carries over from entry to entry as in
  // the installer, and entries that share stored data cost no more than the
  // image could honestly yield (past that the run stops).
  saverkit::EntryReader reader(image);
  // A PE entry (the screen saver, UNINSTAL.EXE) is held while it decodes,
  // so that its own certificate table is checked as the image's is.
  saverkit::DecodeOptions options;
  options.checkSignature = true;
  std::size_t failed = 0;
  for (const Entry& entry : image.entries()) {
    std::string line = "entry " + std::to_string(entry.position) + ": " +
                       (entry.compressed ? "compressed " + Thousands(entry.storedSize) + " -> " + Thousands(entry.size)
                                         : "stored " + Thousands(entry.storedSize)) +
                       " bytes: ";
    if (!entry.installed()) {
      std::printf("%s%s\n", line.c_str(), saverkit::RefusalText(entry.refusal));
      ++failed;
      continue;
    }
    const EntryResult result =
        reader.Decode(entry.position, [](const std::uint8_t*, std::size_t) { return true; }, options);
    if (result.signature == ProgramSignature::kDamaged) {
      line += "damaged: its certificate table: " + result.signatureDamage;
    } else {
      line += saverkit::EntryStatusText(result.status);
      if (result.signature == ProgramSignature::kSigned || result.signature == ProgramSignature::kUnsigned)
        line += std::string(", ") + saverkit::ProgramSignatureWord(result.signature);
      if (result.signature == ProgramSignature::kTooLarge) line += ", a PE too large for its signature to be checked";
    }
    if (result.status == EntryStatus::kOk && result.unreadBytes > 0)
      line += " (note: " + Thousands(result.unreadBytes) + " stored bytes left unread)";
    std::printf("%s\n", line.c_str());
    if (result.status != EntryStatus::kOk || result.signature == ProgramSignature::kDamaged) ++failed;
  }
  if (image.tableCutShort()) PrintError(path, "the entry table runs past the end of the file");
  const bool signatureDamaged = image.signature().state == SignatureState::kDamaged;
  if (signatureDamaged) PrintError(path, image.signature().damage);
  PrintSignatureNotes(image);
  std::printf("%s: %zu entries, %zu sound, %zu failed%s%s\n", Printable(path).c_str(), image.entries().size(),
              image.entries().size() - failed, failed, image.tableCutShort() ? ", entry table cut short" : "",
              signatureDamaged ? ", certificate table damaged" : "");
  return failed == 0 && !image.tableCutShort() && !signatureDamaged ? kExitOk : kExitDataError;
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
