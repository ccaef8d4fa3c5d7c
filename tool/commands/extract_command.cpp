// saverkit extract: writes every entry of an installer image into one folder
// under the file name it is installed under, and the licence text as
// LICENSE.TXT. Names from the image are untrusted: one that could land
// outside the folder is refused, and so is every entry the installer itself
// would not write. Names compare as Windows compares them: an entry the
// installer overwrites with a later one of the same name (in any case) is
// reported, and the later bytes are written under the earlier spelling, as
// the installer leaves them (extract_names). The folder is opened once and
// each file goes through OutputFile inside it: written under an exclusive
// temporary name and renamed only when complete; nothing is overwritten
// unless asked. --include and --exclude narrow the entries written,
// --stdout writes one entry's bytes to standard output instead, and
// --salvage keeps what decoded before a damaged spot as NAME.partial.
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "core/format/install_names.h"
#include "core/text/windows_case.h"
#include "saverkit/image.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/entry_filter.h"
#include "tool/commands/extract_names.h"
#include "tool/commands/output_file.h"
#include "tool/commands/text_output.h"

using format::IsSafeFileName;

namespace commands {

using saverkit::ByteSink;
using saverkit::Entry;
using saverkit::EntryResult;
using saverkit::EntryStatus;
using saverkit::Image;

namespace {

namespace fs = std::filesystem;

constexpr char kLicenseFileName[] = "LICENSE.TXT";
// What --salvage appends to the name of a file cut short by damage: the
// bytes before the damaged spot are never left under the real name.
constexpr char kPartialSuffix[] = ".partial";

// How many files one extract writes unless told otherwise. Real installers
// carry a handful; a table entry costs 28 bytes in the image but a file
// creation on disk (up to a few hundred microseconds each), so an image past
// this is refused before anything is written, and --max-files lets a user
// who means it go further.
constexpr std::uint64_t kDefaultMaxFiles = 16384;

struct ExtractOptions {
  std::string image;
  std::string directory;  // empty: the title
  bool force = false;
  bool json = false;
  std::uint64_t maxFiles = kDefaultMaxFiles;
  EntryFilter filter;
  std::string stdoutName;  // --stdout: the one entry written to standard output
  bool salvage = false;
};

class Progress {
 public:
  Progress() : enabled_(isatty(fileno(stdout)) != 0) {}
  void Show(const std::string& name, std::uint64_t done, std::uint64_t total) {
    if (!enabled_) return;
    const unsigned percent = total ? static_cast<unsigned>(done * 100 / total) : 100;
    std::printf("\r%s: %llu bytes, %u%%\033[K", Printable(name).c_str(),
                static_cast<unsigned long long>(done), percent);
    std::fflush(stdout);
  }
  void Clear() {
    if (enabled_) std::printf("\r\033[K");
  }

 private:
  bool enabled_;
};

struct Outcome {
  std::string name;
  std::string status;  // "written" or the reason the entry failed
  std::uint64_t bytes = 0;
  std::string note;
  bool ok = false;
};

// The folder the files go into: -d DIR, else the title, which must then be
// usable as a folder name.
std::string ChosenFolder(const ExtractOptions& options, const Image& image) {
  if (!options.directory.empty()) return options.directory;
  std::string directory = image.title();
  if (!IsSafeFileName(directory.c_str())) {
    throw Failure{options.image, "the title cannot name a folder; choose one with -d DIR", kExitUsageError};
  }
  return directory;
}

// Everything the installer would write, counted before anything is written,
// so that too many files, or more bytes than the folder's file system
// holds, are refused whole. Returns the bytes.
std::uint64_t CheckInstallCount(const ExtractOptions& options, const Image& image) {
  const bool licence = !image.licence().empty() && options.filter.Selects(kLicenseFileName);
  std::uint64_t total = licence ? image.licence().size() : 0;
  std::uint64_t files = licence ? 1 : 0;
  for (const Entry& entry : image.entries()) {
    if (!entry.installed() || !options.filter.Selects(entry.path)) continue;
    ++files;
    if (!entry.tooLarge) total += entry.size;
  }
  if (files > options.maxFiles) {
    throw Failure{options.image,
                  "the image would write " + std::to_string(files) + " files, more than " +
                      std::to_string(options.maxFiles) + " (raise the limit with --max-files)",
                  kExitDataError};
  }
  return total;
}

void CreateOutputFolder(const std::string& directory) {
  std::error_code code;
  fs::create_directories(directory, code);
  if (code) throw Failure{directory, "cannot create the output folder: " + code.message(), kExitDataError};
  if (!fs::is_directory(directory, code))
    throw Failure{directory, "cannot create the output folder: it is not a folder", kExitDataError};
}

// Hands one file's bytes to the sink and tells how that ended.
using Producer = std::function<EntryResult(const ByteSink& sink)>;

// Writes the files of one run into its folder, each through OutputFile.
class FolderWriter {
 public:
  FolderWriter(const OutputFolder& folder, bool force, bool salvage)
      : folder_(folder), force_(force), salvage_(salvage) {}

  // Writes `name` from `produce`, which is not called when the name is refused.
  Outcome Write(const std::string& name, std::uint64_t expected, const Producer& produce) {
    Outcome outcome;
    outcome.name = name;
    outcome.status = Refusal(name, expected);
    if (!outcome.status.empty()) return outcome;
    try {
      WriteThrough(name, expected, produce, &outcome);
    } catch (const OutputFileError& e) {
      progress_.Clear();
      outcome.status = e.what();
    }
    return outcome;
  }

 private:
  // Why `name` is not written, or empty.
  std::string Refusal(const std::string& name, std::uint64_t expected) {
    // The name must stay one name inside the output folder on this system too.
    if (!IsSafeFileName(name.c_str())) return "refused: the name could land outside the folder";
    // Entries the installer puts in one folder under one name were merged
    // before (extract_names); what still meets here came from two folders
    // (the Windows directory and the title directory).
    if (!taken_.insert(FoldedName(name)).second) return "refused: an earlier entry was given the same name";
    if (expected > folder_.AvailableBytes())
      return "refused: no room on the folder's file system for " + std::to_string(expected) + " bytes";
    return std::string();
  }

  void WriteThrough(const std::string& name, std::uint64_t expected, const Producer& produce, Outcome* outcome) {
    OutputFile output(folder_, name, force_);
    std::uint64_t done = 0;
    int writeError = 0;  // errno of a failed write, before output to the terminal changes it
    const ByteSink sink = [&](const std::uint8_t* data, std::size_t size) {
      if (!output.Write(data, size)) {
        writeError = errno;
        return false;
      }
      done += size;
      progress_.Show(name, done, expected);
      return true;
    };
    const EntryResult result = produce(sink);
    progress_.Clear();
    if (result.status == EntryStatus::kSinkStopped) {
      outcome->status = std::string("write failed: ") + std::strerror(writeError ? writeError : EIO);
      return;
    }
    outcome->bytes = result.written;
    if (result.status != EntryStatus::kOk) {
      outcome->status = saverkit::EntryStatusText(result.status);
      if (salvage_ && result.written > 0) Salvage(name, &output, outcome);
      return;
    }
    output.Commit();
    if (result.unreadBytes > 0) outcome->note = std::to_string(result.unreadBytes) + " stored bytes left unread";
    outcome->status = "written";
    outcome->ok = true;
  }

  // Keeps the bytes decoded before the damaged spot (the installer's) as
  // NAME.partial; the outcome stays a failure.
  void Salvage(const std::string& name, OutputFile* output, Outcome* outcome) {
    const std::string partial = name + kPartialSuffix;
    if (!taken_.insert(FoldedName(partial)).second) {
      outcome->note = "not salvaged: an entry has the name " + Printable(partial);
      return;
    }
    try {
      output->CommitAs(partial);
      outcome->note = "the " + std::to_string(outcome->bytes) + " bytes before the damage kept as " + Printable(partial);
    } catch (const OutputFileError& e) {
      outcome->note = "not salvaged: " + Printable(partial) + " " + e.what();
    }
  }

  const OutputFolder& folder_;
  bool force_;
  bool salvage_;
  Progress progress_;
  // Names already taken by this run, folded as Windows folds them: two
  // entries that the installer puts in different folders under one name
  // (even with --force) must not replace each other here.
  std::set<std::string> taken_;
};

// An entry whose bytes the installer overwrites with a later entry's: not
// written (it still passes through the decoder), and reported.
Outcome ReplacedOutcome(const std::string& shown, std::uint32_t later, const std::string& laterName) {
  Outcome outcome;
  outcome.name = shown;
  outcome.status = "replaced: entry " + std::to_string(later) + ", " + Printable(laterName) +
                   ", has the same name on Windows and is written after it";
  return outcome;
}

// The later entry's bytes written under the name an earlier entry gave the
// file: reported under the entry's own name, with the file's.
void NoteEarlierSpelling(const std::string& shown, const std::string& file, Outcome* outcome) {
  outcome->name = shown;
  if (file == shown || !outcome->ok) return;
  const std::string note = "written as " + Printable(file) + ", the spelling Windows keeps";
  outcome->note = outcome->note.empty() ? note : note + "; " + outcome->note;
}

// The licence and every entry the filter selects, in table order, as the
// installer writes them.
std::vector<Outcome> WriteFiles(const Image& image, const EntryFilter& filter, FolderWriter& writer) {
  std::vector<Outcome> outcomes;
  if (!image.licence().empty() && filter.Selects(kLicenseFileName)) {
    outcomes.push_back(writer.Write(kLicenseFileName, image.licence().size(), [&](const ByteSink& sink) {
      EntryResult result;
      result.written = image.licence().size();
      if (!sink(reinterpret_cast<const std::uint8_t*>(image.licence().data()), image.licence().size()))
        result.status = EntryStatus::kSinkStopped;
      return result;
    }));
  }
  const std::vector<ExtractName> names = PlanExtractNames(image);
  // One reader for every entry of the run: the ring carries over as in the
  // installer, and entries that share stored data cost no more than the
  // image could honestly yield; past that the run stops with a failure (the
  // file being written is removed, as after any failure).
  saverkit::EntryReader reader(image);
  for (const Entry& entry : image.entries()) {
    const std::uint32_t i = entry.position;
    const ExtractName& name = names[i];
    const std::string shown = name.name.empty() ? "entry " + std::to_string(i) : name.name;
    // An entry left out is not decoded here: the reader passes it through
    // the decoder itself when a later entry needs the ring it leaves.
    if (!filter.Selects(entry.path)) continue;
    if (!entry.installed()) {
      // Not written by the installer, so not decoded either: the ring
      // stays as the installer leaves it for the next entry.
      Outcome outcome;
      outcome.name = shown;
      outcome.status = saverkit::RefusalText(entry.refusal);
      outcomes.push_back(outcome);
      continue;
    }
    bool decoded = false;
    if (name.replacedBy != ExtractName::kNotReplaced) {
      outcomes.push_back(ReplacedOutcome(shown, name.replacedBy, names[name.replacedBy].name));
    } else {
      const std::string& target = name.file.empty() ? shown : name.file;
      outcomes.push_back(writer.Write(target, entry.size, [&](const ByteSink& sink) {
        decoded = true;
        return reader.Decode(i, sink);
      }));
      NoteEarlierSpelling(shown, target, &outcomes.back());
    }
    // The installer writes this entry: when this folder could not take it,
    // or a later entry replaces it, it still passes through the decoder now,
    // so that later entries see the ring the installer would and the run's
    // work is charged in the installer's order.
    if (!decoded && entry.compressed) reader.Decode(i, [](const std::uint8_t*, std::size_t) { return true; });
  }
  return outcomes;
}

void PrintOutcomes(const std::string& directory, const std::vector<Outcome>& outcomes, std::size_t failed,
                   std::size_t leftOut, bool json) {
  if (json) {
    nlohmann::ordered_json out;
    out["directory"] = directory;  // as given: bytes that are not UTF-8 become U+FFFD below
    out["files"] = nlohmann::ordered_json::array();
    for (const Outcome& o : outcomes) {
      nlohmann::ordered_json item{{"name", Windows1252ToUtf8(o.name)},
                                  {"status", o.status},
                                  {"bytes", o.bytes},
                                  {"ok", o.ok}};
      if (!o.note.empty()) item["note"] = o.note;
      out["files"].push_back(item);
    }
    out["failed"] = failed;
    out["left_out"] = leftOut;
    // Plain ASCII, as list --json writes it.
    std::cout << out.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return;
  }
  for (const Outcome& o : outcomes) {
    std::printf("%s: %s%s%s\n", Printable(o.name).c_str(), o.status.c_str(),
                o.ok ? (", " + std::to_string(o.bytes) + " bytes").c_str() : "",
                o.note.empty() ? "" : (" (note: " + o.note + ")").c_str());
  }
  std::printf("%s: %zu files, %zu written, %zu failed", Printable(directory).c_str(), outcomes.size(),
              outcomes.size() - failed, failed);
  if (leftOut > 0) std::printf(", %zu left out by --include/--exclude", leftOut);
  std::printf("\n");
}

// The entry --stdout names: by its installed path or its file name, in any
// case, '/' for '\\'. Several entries of one path leave the last one's bytes
// (the installer writes it over the others); a file name that two folders
// hold is ambiguous.
const Entry& NamedEntry(const Image& image, const ExtractOptions& options) {
  std::string wanted = options.stdoutName;
  for (char& c : wanted)
    if (c == '/') c = '\\';
  const Entry* found = nullptr;
  const Entry* refused = nullptr;
  for (const Entry& entry : image.entries()) {
    if (!text::SameWindowsName(entry.path, wanted) && !text::SameWindowsName(entry.fileName, wanted)) continue;
    if (!entry.installed()) {
      refused = &entry;
      continue;
    }
    if (found && !text::SameWindowsName(found->path, entry.path)) {
      throw Failure{options.image,
                    "\"" + Printable(options.stdoutName) + "\" names more than one file (" + Printable(found->path) +
                        ", " + Printable(entry.path) + "); give the installed path",
                    kExitUsageError};
    }
    found = &entry;
  }
  if (found) return *found;
  if (refused) {
    throw Failure{options.image, "entry " + std::to_string(refused->position) + ": " + saverkit::RefusalText(refused->refusal),
                  kExitDataError};
  }
  throw Failure{options.image,
                "no entry installs as \"" + Printable(options.stdoutName) + "\" (saverkit list shows the paths)",
                kExitUsageError};
}

// One entry's bytes on standard output, as the installer writes them (the
// entries before it decoded first). Unless --salvage is given, the entry is
// decoded once into nowhere before anything is written, so that damage
// leaves standard output empty rather than holding a cut-short file.
int RunExtractToStdout(const ExtractOptions& options) {
  const Image image = Image::Open(options.image);
  const Entry& entry = NamedEntry(image, options);
  const auto fail = [&](const EntryResult& result) {
    return Failure{options.image, Printable(entry.path) + ": " + saverkit::EntryStatusText(result.status),
                   kExitDataError};
  };
  if (!options.salvage) {
    const EntryResult check = image.Decode(entry.position, [](const std::uint8_t*, std::size_t) { return true; });
    if (check.status != EntryStatus::kOk) throw fail(check);
  }
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  int writeError = 0;
  const EntryResult result = image.Decode(entry.position, [&](const std::uint8_t* data, std::size_t size) {
    if (std::fwrite(data, 1, size, stdout) == size) return true;
    writeError = errno;
    return false;
  });
  if (result.status == EntryStatus::kSinkStopped || std::fflush(stdout) != 0) {
    if (writeError == 0) writeError = errno;
    throw Failure{"standard output", std::string("write failed: ") + std::strerror(writeError ? writeError : EIO),
                  kExitDataError};
  }
  if (result.status != EntryStatus::kOk) throw fail(result);
  return kExitOk;
}

int RunExtract(const ExtractOptions& options) {
  if (!options.stdoutName.empty()) return RunExtractToStdout(options);
  const Image image = Image::Open(options.image);
  const std::string directory = ChosenFolder(options, image);
  const std::uint64_t total = CheckInstallCount(options, image);
  CreateOutputFolder(directory);
  // Opened once: every file is made relative to it.
  const OutputFolder folder(directory);
  if (!folder.IsOpen())
    throw Failure{directory, std::string("cannot open the output folder: ") + std::strerror(folder.OpenError()),
                  kExitDataError};
  if (total > folder.AvailableBytes()) {
    throw Failure{directory,
                  "no room for the " + std::to_string(total) + " bytes the image installs on the folder's file system",
                  kExitDataError};
  }

  FolderWriter writer(folder, options.force, options.salvage);
  const std::vector<Outcome> outcomes = WriteFiles(image, options.filter, writer);
  std::size_t failed = 0;
  for (const Outcome& o : outcomes) failed += o.ok ? 0 : 1;
  const std::size_t files = image.entries().size() + (image.licence().empty() ? 0 : 1);
  PrintOutcomes(directory, outcomes, failed, files - outcomes.size(), options.json);
  for (const Outcome& o : outcomes)
    if (!o.ok) PrintError(options.image, Printable(o.name) + ": " + o.status);
  return failed == 0 && !image.tableCutShort() ? kExitOk : kExitDataError;
}

}  // namespace

void AddExtractCommand(CLI::App& app, int& exitStatus) {
  CLI::App* extract = app.add_subcommand(
      "extract", "Write every file of an installer image into a folder, as it installs them");
  auto options = std::make_shared<ExtractOptions>();
  extract->add_option("IMAGE", options->image, "Installer image (.exe)")->required();
  extract->add_option("-d,--directory", options->directory,
                      "Output folder (default: a folder named after the title)");
  extract->add_flag("--force", options->force, "Overwrite files that exist");
  extract->add_flag("--json", options->json, "Print one JSON object for scripts");
  extract->add_option("--max-files", options->maxFiles,
                      "Refuse an image that would write more files than this")
      ->capture_default_str()
      ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{0xFFFFFFFF}));
  extract->add_option("--include", options->filter.include,
                      "Write only entries whose installed path matches GLOB (repeatable; * ? as in a shell, any case)")
      ->type_name("GLOB")
      ->allow_extra_args(false);
  extract->add_option("--exclude", options->filter.exclude, "Leave out entries whose installed path matches GLOB")
      ->type_name("GLOB")
      ->allow_extra_args(false);
  CLI::Option* toStdout = extract->add_option(
      "--stdout", options->stdoutName, "Write the bytes of the entry installed as NAME to standard output");
  toStdout->type_name("NAME");
  extract->add_flag("--salvage", options->salvage,
                    "Keep the bytes decoded before a damaged spot, as NAME.partial (or on standard output)");
  for (const char* other : {"-d", "--force", "--json", "--max-files", "--include", "--exclude"})
    toStdout->excludes(extract->get_option(other));
  extract->footer(
      "Patterns match the installed path as list shows it (MARLOWEN\\VELDRAKE\\TITLE\\JUKE0001.MID, or\n"
      "TITLE.scr; LICENSE.TXT for the licence): * matches any run of characters, backslashes too, ? one\n"
      "character, / a backslash, and letters match in any case, as Windows compares names. An entry\n"
      "is written when it matches some --include (or none is given) and no --exclude.\n"
      "--stdout NAME takes the installed path or the file name. The entries before it are decoded\n"
      "first, since each compressed entry continues the decoder's state of the one before.\n"
      "Exit status: 0 every file written, 1 damage or a failed entry, 2 bad arguments.\n"
      "\nExamples:\n"
      "  saverkit extract NightSkySetup.exe -d out --include '*.MID' --exclude 'JUKE0003.*'\n"
      "  saverkit extract NightSkySetup.exe --stdout UNINSTAL.EXE > UNINSTAL.EXE\n"
      "  saverkit extract Damaged.exe -d out --salvage");
  extract->callback([options, &exitStatus] {
    exitStatus = RunCommandReportingFailures(options->image, [&] { return RunExtract(*options); });
  });
}

}  // namespace commands
