// saverkit identify: one line per file telling whether it is an installer
// image of this kind and which (title, entries, install total, signature,
// publisher, version, installer program), or damaged, or no installer at
// all; with --json one JSON object per line. Reads only what the answer
// needs (saverkit::Identify). With -r it walks folders: a symbolic link met
// there is never followed, and what is not a regular file is skipped. A
// file that cannot be read is reported on standard error and the walk goes
// on; the exit status then says so.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "saverkit/identify.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#include "tool/commands/json_text.h"
#include "tool/commands/text_output.h"

namespace commands {

using saverkit::FileKind;
using saverkit::Identification;

namespace {

namespace fs = std::filesystem;

struct IdentifyOptions {
  std::vector<std::string> paths;
  bool recursive = false;
  bool json = false;
};

// A path from the command line or a folder, shown on one line: its bytes as
// they are (they name a file on this system), control characters escaped.
std::string OneLinePath(const std::string& path) {
  std::string out;
  for (const char byte : path) {
    const unsigned char c = static_cast<unsigned char>(byte);
    if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      out += byte;
    }
  }
  return out;
}

// Our release ("Saverkit 0.1.0") or "other".
std::string InstallerProgram(const Identification& id) {
  return id.installerProgram == saverkit::InstallerProgram::kOurs ? id.installerIdentity : "other";
}

std::string TextLine(const std::string& path, const Identification& id) {
  std::string line = OneLinePath(path) + ": " + saverkit::FileKindName(id.kind);
  if (id.kind == FileKind::kNotInstaller) return line;
  if (id.kind == FileKind::kDamaged) line += " (" + id.damage + ")";
  if (id.title.empty() && id.kind == FileKind::kDamaged) return line;
  line += ": \"" + Printable(id.title) + "\", " + std::to_string(id.entries) + " entries, " +
          Thousands(id.installTotal) + " bytes, " + (id.isSigned ? "signed" : "unsigned");
  if (id.publisher) line += ", publisher \"" + Printable(*id.publisher) + "\"";
  if (id.version) line += ", version " + Printable(*id.version);
  line += ", installer program " + InstallerProgram(id);
  return line;
}

nlohmann::ordered_json OptionalText(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(Windows1252ToUtf8(*text)) : nlohmann::ordered_json();
}

std::string JsonLine(const std::string& path, const Identification& id) {
  nlohmann::ordered_json line{{"path", path}, {"kind", saverkit::FileKindName(id.kind)}};
  if (id.kind == FileKind::kDamaged) line["damage"] = id.damage;
  // A damaged image whose manifest could not be read has nothing more.
  if (id.kind == FileKind::kInstaller || !id.title.empty()) {
    line["title"] = Windows1252ToUtf8(id.title);
    line["entries"] = id.entries;
    line["install_total"] = id.installTotal;
    line["signed"] = id.isSigned;
    line["publisher"] = OptionalText(id.publisher);
    line["version"] = OptionalText(id.version);
    line["installer_program"] = InstallerProgram(id);
  }
  return JsonText(line);
}

class Identifier {
 public:
  explicit Identifier(const IdentifyOptions& options) : options_(options) {}

  // A path named on the command line is taken as given (a link to a
  // folder there is walked); only links met in the walk are passed over.
  void Path(const std::string& path) {
    std::error_code code;
    const bool folder = fs::is_directory(path, code);
    if (folder && options_.recursive) {
      Walk(path);
      return;
    }
    if (folder) {
      Unreadable(path, "is a folder (-r walks it)");
      return;
    }
    File(path);
  }

  int status() const { return unreadable_ ? kExitDataError : kExitOk; }

 private:
  void File(const std::string& path) {
    Identification id;
    try {
      id = saverkit::Identify(path);
    } catch (const saverkit::Error& error) {
      Unreadable(path, error.what());
      return;
    }
    const std::string line = options_.json ? JsonLine(path, id) : TextLine(path, id);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
  }

  void Unreadable(const std::string& path, const std::string& why) {
    std::fflush(stdout);  // the lines stay in order when both go to one place
    PrintError(OneLinePath(path), why);
    unreadable_ = true;
  }

  // Depth first with a stack of folders rather than recursion, so that no
  // depth of folders can run out of stack; within a folder, in name order.
  void Walk(const std::string& top) {
    std::vector<fs::path> folders{top};
    while (!folders.empty()) {
      const fs::path folder = folders.back();
      folders.pop_back();
      std::error_code code;
      fs::directory_iterator it(folder, code);
      if (code) {
        Unreadable(folder.string(), "cannot read the folder: " + code.message());
        continue;
      }
      std::vector<fs::directory_entry> items;
      for (; it != fs::directory_iterator(); it.increment(code)) {
        if (code) break;
        items.push_back(*it);
      }
      if (code) Unreadable(folder.string(), "cannot read the folder: " + code.message());
      std::sort(items.begin(), items.end());
      std::vector<fs::path> subfolders;
      for (const fs::directory_entry& item : items) {
        // The link itself, never what it points to.
        const fs::file_status status = item.symlink_status(code);
        if (code) {
          Unreadable(item.path().string(), code.message());
        } else if (fs::is_directory(status)) {
          subfolders.push_back(item.path());
        } else if (fs::is_regular_file(status)) {
          File(item.path().string());
        }
      }
      folders.insert(folders.end(), subfolders.rbegin(), subfolders.rend());
    }
  }

  const IdentifyOptions& options_;
  bool unreadable_ = false;
};

int RunIdentify(const IdentifyOptions& options) {
  Identifier identifier(options);
  for (const std::string& path : options.paths) identifier.Path(path);
  return identifier.status();
}

}  // namespace

void AddIdentifyCommand(CLI::App& app, int& exitStatus) {
  CLI::App* identify =
      app.add_subcommand("identify", "Tell for each file whether it is an installer image, and which");
  auto options = std::make_shared<IdentifyOptions>();
  identify->add_option("PATH", options->paths, "Files (and with -r folders) to look at")->required();
  identify->add_flag("-r,--recursive", options->recursive,
                     "Walk folders: links are never followed, what is no regular file is skipped");
  identify->add_flag("--json", options->json, "Print one JSON object per file (JSON Lines)");
  identify->footer(
      "Each file is an installer, damaged (an installer image with damage, and what it is), or not an\n"
      "installer. Only the headers, the resource tree and the manifest are read; no entry is decoded.\n"
      "A file that cannot be read is reported on standard error and the others are still looked at.\n"
      "Exit status: 0 every file could be read, 1 some could not, 2 bad arguments.\n"
      "\nExamples:\n  saverkit identify NightSkySetup.exe\n  saverkit identify -r --json Downloads/");
  identify->callback([options, &exitStatus] {
    exitStatus = RunCommandReportingFailures("", [&] { return RunIdentify(*options); });
  });
}

}  // namespace commands
