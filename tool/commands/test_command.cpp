// saverkit test: decodes every entry of an installer image without writing
// a file and reports whether each would install soundly; with --json, one
// object with each entry's SHA-256 (of the bytes the installer writes).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "saverkit/image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/json_text.h"
#include "tool/commands/sha256.h"
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
std::vector<std::string> SignatureNotes(const Image& image) {
  std::vector<std::string> notes;
  const saverkit::Signature& signature = image.signature();
  if (signature.state != SignatureState::kSigned) return notes;
  if (!signature.coversPayload)
    notes.push_back("the signature does not cover the payload (certificate table at " +
                    std::to_string(signature.offset) + ", payload ends at " + std::to_string(image.payloadEnd()) +
                    ")");
  if (signature.bytesAfter > 0)
    notes.push_back(std::to_string(signature.bytesAfter) + " bytes of data after the signature, not covered by it");
  return notes;
}

// One entry's verdict.
struct EntryVerdict {
  const Entry* entry = nullptr;
  std::string verdict;  // the words after "bytes: " on its line
  std::string note;
  std::string sha256;   // of the decoded bytes, when sound
  bool sound = false;
};


// Each entry's verdict printed as it is reached, so that memory stays that
// of the entry table however many entries the image declares: a line each,
// or with --json one object whose entries are written one at a time.
class VerdictPrinter {
 public:
  VerdictPrinter(const std::string& path, bool json) : json_(json) {
    if (json_) std::printf("{\"image\":%s,\"entries\":[", JsonText(path).c_str());
  }

  void Print(const EntryVerdict& v) {
    const Entry& entry = *v.entry;
    if (!json_) {
      std::printf("entry %u: %s bytes: %s%s\n", entry.position,
                  (entry.compressed ? "compressed " + Thousands(entry.storedSize) + " -> " + Thousands(entry.size)
                                    : "stored " + Thousands(entry.storedSize))
                      .c_str(),
                  v.verdict.c_str(), v.note.empty() ? "" : (" (note: " + v.note + ")").c_str());
      return;
    }
    // Written by hand: a million entries through a JSON library's objects
    // take seconds.
    std::string item = "{\"position\":" + std::to_string(entry.position) +
                       ",\"path\":" + JsonString(entry.path) +
                       ",\"size\":" + std::to_string(entry.size) +
                       ",\"stored_size\":" + std::to_string(entry.storedSize) +
                       ",\"compressed\":" + (entry.compressed ? "true" : "false") +
                       ",\"sound\":" + (v.sound ? "true" : "false") + ",\"status\":" + JsonText(v.verdict) +
                       ",\"sha256\":" + (v.sound ? "\"" + v.sha256 + "\"" : std::string("null"));
    if (!v.note.empty()) item += ",\"note\":" + JsonText(v.note);
    std::printf("%s%s}", first_ ? "" : ",", item.c_str());
    first_ = false;
  }

  void Finish(const Image& image, std::size_t failed) {
    if (!json_) return;
    nlohmann::ordered_json tail;
    tail["table_cut_short"] = image.tableCutShort();
    tail["signature_damage"] = image.signature().state == SignatureState::kDamaged
                                   ? nlohmann::ordered_json(image.signature().damage)
                                   : nlohmann::ordered_json();
    tail["notes"] = SignatureNotes(image);
    tail["failed"] = failed;
    const std::string text = JsonText(tail);
    std::printf("],%s\n", text.c_str() + 1);  // the tail's members, inside the one object
  }

 private:
  bool json_;
  bool first_ = true;
};

int RunTest(const std::string& path, bool json) {
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
  VerdictPrinter printer(path, json);
  for (const Entry& entry : image.entries()) {
    EntryVerdict v;
    v.entry = &entry;
    if (!entry.installed()) {
      v.verdict = saverkit::RefusalText(entry.refusal);
      ++failed;
      printer.Print(v);
      continue;
    }
    // Only --json shows the digest: hashing costs about as much as decoding.
    Sha256 digest;
    const EntryResult result = reader.Decode(
        entry.position,
        [&](const std::uint8_t* data, std::size_t size) {
          if (json) digest.Update(data, size);
          return true;
        },
        options);
    if (result.signature == ProgramSignature::kDamaged) {
      v.verdict = "damaged: its certificate table: " + result.signatureDamage;
    } else {
      v.verdict = saverkit::EntryStatusText(result.status);
      if (result.signature == ProgramSignature::kSigned || result.signature == ProgramSignature::kUnsigned)
        v.verdict += std::string(", ") + saverkit::ProgramSignatureWord(result.signature);
      if (result.signature == ProgramSignature::kTooLarge)
        v.verdict += ", a PE too large for its signature to be checked";
    }
    if (result.status == EntryStatus::kOk && result.unreadBytes > 0)
      v.note = Thousands(result.unreadBytes) + " stored bytes left unread";
    v.sound = result.status == EntryStatus::kOk && result.signature != ProgramSignature::kDamaged;
    if (v.sound) v.sha256 = digest.FinishHex();
    if (!v.sound) ++failed;
    printer.Print(v);
  }
  if (image.tableCutShort()) PrintError(path, "the entry table runs past the end of the file");
  const bool signatureDamaged = image.signature().state == SignatureState::kDamaged;
  if (signatureDamaged) PrintError(path, image.signature().damage);
  const int status = failed == 0 && !image.tableCutShort() && !signatureDamaged ? kExitOk : kExitDataError;
  printer.Finish(image, failed);
  if (json) return status;
  for (const std::string& note : SignatureNotes(image)) std::printf("note: %s\n", note.c_str());
  std::printf("%s: %zu entries, %zu sound, %zu failed%s%s\n", Printable(path).c_str(), image.entries().size(),
              image.entries().size() - failed, failed, image.tableCutShort() ? ", entry table cut short" : "",
              signatureDamaged ? ", certificate table damaged" : "");
  return status;
}

}  // namespace

void AddTestCommand(CLI::App& app, int& exitStatus) {
  CLI::App* test = app.add_subcommand(
      "test", "Decode every entry of an installer image without writing files and report each");
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  test->add_option("IMAGE", *path, "Installer image (.exe)")->required();
  test->add_flag("--json", *json, "Print one JSON object for scripts, with each entry's SHA-256");
  test->footer(
      "A signed image's certificate table is checked too, and so is that of every entry that is a\n"
      "PE program (\"signed\" or \"unsigned\" on its line): a damaged one is an error. A signature\n"
      "that does not cover the payload, or data after the signature, is a note: the image still\n"
      "installs, and the exit status stays 0.\n"
      "Decoding stops, with exit status 1, past 24 bytes per byte of the image plus 4 MiB: only\n"
      "entries that decode the same stored data again and again get there.\n"
      "Exit status: 0 every entry sound, 1 damage or a failed entry, 2 bad arguments.\n"
      "With --json each sound entry has \"sha256\": the digest of the bytes the installer writes.\n"
      "\nExamples:\n  saverkit test NightSkySetup.exe\n  saverkit test --json NightSkySetup.exe");
  test->callback([path, json, &exitStatus] {
    exitStatus = RunCommandReportingFailures(*path, [&] { return RunTest(*path, *json); });
  });
}

}  // namespace commands
