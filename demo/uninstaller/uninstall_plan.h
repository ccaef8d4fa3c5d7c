// What the uninstaller may remove, decided over plain text in fixed buffers
// so that the rules run (and are tested and fuzzed) anywhere.
//
// The installer records every file it writes in INSTALL.LOG, one full path
// per line. The log is untrusted: it may be damaged, edited, or list files
// of two installations. A listed file is deleted only when it is
//   - the screen saver of this title, directly in the Windows directory
//     (WinDir\<title>.scr), or
//   - a file directly inside this title directory
//     (WinDir\MARLOWEN\VELDRAKE\<title>\<name>).
// Everything else is left alone and reported: other folders, other
// screen savers, relative or UNC paths, other drives, paths whose "." and
// ".." components lead elsewhere, names Windows would silently change
// (trailing dots or blanks), device names and stream names.
//
// Paths are compared without regard to ASCII case, with '/' taken as '\',
// repeated separators collapsed and "." and ".." components resolved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/format/install_names.h"

namespace uninstaller {

// Bytes of INSTALL.LOG that are read; an installation writes a few hundred.
constexpr std::size_t kMaxInstallLogBytes = 256 * 1024;
// Longest path the installer writes (its buffers hold 260 bytes).
constexpr std::size_t kMaxPathLength = format::kPathBufferSize - 1;
// Distinct files one plan deletes, and distinct log lines it leaves alone.
// A log naming more is treated as one too long to read whole: the plan
// covers its beginning up to the line that did not fit.
constexpr std::size_t kMaxPlannedFiles = format::kMostUninstalledFiles;
constexpr std::size_t kMaxLeftAloneLines = 4096;

// A path in its resolved form: "C:" (letter upper-cased), then "\<name>"
// for each folder and the file name, "." and ".." resolved, case kept.
// `Components` counts the drive too ("C:\WINDOWS\a.scr" has 3).
struct ResolvedPath {
  char Text[format::kPathBufferSize];
  std::size_t Components;
};

// An absolute drive path as its resolved form. False for anything else:
// relative, root-relative ("\x"), UNC ("\\server\share"), device ("\\.\",
// "\\?\"), a ".." above the drive's root, an empty or unsafe component
// (trailing dot or blank, ':', wildcards, control characters, device names),
// a trailing separator, or more than kMaxPathLength characters.
bool ResolveAbsolutePath(std::string_view path, ResolvedPath* resolved);

// Calls `take(line)` for each line of `text` (at most kMaxInstallLogBytes of
// it): CR LF, a lone CR or a lone LF ends a line, the last line needs no
// terminator, and empty lines are skipped. Stops early when `take` answers
// false.
template <typename Take>
void ForEachLogLine(std::string_view text, Take take) {
  const std::size_t size = text.size() < kMaxInstallLogBytes ? text.size() : kMaxInstallLogBytes;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= size; ++at) {
    if (at < size && text[at] != '\r' && text[at] != '\n') continue;
    if (at > start && !take(std::string_view(text.data() + start, at - start))) return;
    start = at + 1;
  }
}

// The places one uninstallation works on, each a full path (no trailing
// backslash but for a root "C:\").
struct UninstallPlace {
  char WindowsDirectory[format::kPathBufferSize];  // as the system reports it
  char TitleDirectory[format::kPathBufferSize];    // WinDir\MARLOWEN\VELDRAKE\<title>
  char Title[format::kPathBufferSize];             // the title directory's own name
  char ScreenSaverPath[format::kPathBufferSize];   // WinDir\<title>.scr
  char InstallLogPath[format::kPathBufferSize];    // <title directory>\INSTALL.LOG
  char UninstallKeyName[format::kPathBufferSize];  // under HKEY_LOCAL_MACHINE
};

// Checks that `titleDirectory` is a title directory under
// `windowsDirectory` (both as the system reports them) and fills `place`.
// False when it is anything else, or when a place would not fit its
// buffer: an uninstaller copied elsewhere must not act on the folder it
// happens to be in.
bool MakeUninstallPlace(const char* windowsDirectory, const char* titleDirectory, UninstallPlace* place);

enum class Verdict {
  kDelete,     // this installation's file
  kLeftAlone,  // a sound path, but outside what this uninstaller owns
  kMalformed,  // not a path that can be judged safely
};

// Judges one log line. On kDelete, `resolved` holds the path to delete.
Verdict JudgeLoggedPath(const UninstallPlace& place, std::string_view line, ResolvedPath* resolved);

// Where a line lies in the log text: bytes from its start.
struct LogLine {
  std::uint32_t Offset;
  std::uint32_t Length;
};

// The plan over one log text, which must outlive it (LeftAlone points into
// it). About 100 KB: the program keeps one in static storage.
struct RemovalPlan {
  // Files to delete, resolved, each once (the first spelling kept), in log order.
  char Deletions[kMaxPlannedFiles][format::kPathBufferSize];
  std::size_t DeletionCount;
  // Log lines that are not deleted, each once as it is shown (see
  // ShowLogLine), in log order.
  LogLine LeftAlone[kMaxLeftAloneLines];
  std::size_t LeftAloneCount;
  // A table was full: the lines from the one that did not fit on are not
  // planned.
  bool Full;
};

void PlanRemoval(const UninstallPlace& place, std::string_view logText, RemovalPlan* plan);

// A log line as it may be shown to the user: cut to kMaxPathLength, control
// characters shown as '?'. `shown` holds kPathBufferSize bytes.
void ShowLogLine(std::string_view line, char* shown);

// True when two paths name the same file by the rules above (both must be
// sound absolute paths).
bool SamePath(std::string_view a, std::string_view b);

// True when the system's screen saver setting (the value as written, and
// its long form when it could be had, else empty) names the screen saver
// being removed, given by its long path and its short path (empty when not
// known).
bool SettingNamesScreenSaver(std::string_view value, std::string_view valueLongForm,
                             std::string_view saverLongPath, std::string_view saverShortPath);

// The folders to remove once the files are gone, innermost first: the
// title directory, then VELDRAKE, then MARLOWEN. Each goes only when empty.
constexpr int kDirectoriesToRemove = 3;
void DirectoriesToRemove(const UninstallPlace& place,
                         char (*directories)[format::kPathBufferSize]);

}  // namespace uninstaller
