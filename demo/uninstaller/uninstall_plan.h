// What the uninstaller may remove, decided over plain strings so that the
// rules run (and are tested) anywhere.
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
#include <string>
#include <string_view>
#include <vector>

namespace uninstaller {

// Bytes of INSTALL.LOG that are read; an installation writes a few hundred.
constexpr std::size_t kMaxInstallLogBytes = 256 * 1024;
// Longest path the installer writes (its buffers hold 260 bytes).
constexpr std::size_t kMaxPathLength = 259;

// The lines of the log: CR LF, a lone CR or a lone LF ends a line, the last
// line needs no terminator, and empty lines are dropped.
std::vector<std::string> SplitLogLines(std::string_view text);

// An absolute drive path as its components: "C:" first, then each folder
// and the file name, with "." and ".." resolved. False for anything else:
// relative, root-relative ("\x"), UNC ("\\server\share"), device ("\\.\",
// "\\?\"), a ".." above the drive's root, an empty or unsafe component
// (trailing dot or blank, ':', wildcards, control characters, device names),
// a trailing separator, or more than kMaxPathLength characters.
bool SplitAbsolutePath(std::string_view path, std::vector<std::string>* components);

// The places one uninstallation works on.
struct UninstallPlace {
  std::string WindowsDirectory;  // e.g. "C:\WINDOWS", no trailing backslash but for a root "C:\"
  std::string TitleDirectory;    // WinDir\MARLOWEN\VELDRAKE\<title>
  std::string Title;             // the title directory's own name
  std::string ScreenSaverPath;   // WinDir\<title>.scr
  std::string InstallLogPath;    // <title directory>\INSTALL.LOG
  std::string UninstallKeyName;  // under HKEY_LOCAL_MACHINE
};

// Checks that `titleDirectory` is a title directory under
// `windowsDirectory` (both as the system reports them) and fills `place`.
// False when it is anything else: an uninstaller copied elsewhere must not
// act on the folder it happens to be in.
bool MakeUninstallPlace(std::string_view windowsDirectory, std::string_view titleDirectory,
                        UninstallPlace* place);

enum class Verdict {
  kDelete,     // this installation's file
  kLeftAlone,  // a sound path, but outside what this uninstaller owns
  kMalformed,  // not a path that can be judged safely
};

// Judges one log line. On kDelete, `normal` receives the path in its
// resolved form (drive and components joined by '\').
Verdict JudgeLoggedPath(const UninstallPlace& place, std::string_view line, std::string* normal);

struct RemovalPlan {
  // Files to delete, resolved, each once (the first spelling kept), in log order.
  std::vector<std::string> Deletions;
  // Log lines that are not deleted, as they stand (cut to kMaxPathLength
  // and with control characters shown as '?'), each once.
  std::vector<std::string> LeftAlone;
};

RemovalPlan PlanRemoval(const UninstallPlace& place, std::string_view logText);

// True when two paths name the same file by the rules above (both must be
// sound absolute paths).
bool SamePath(std::string_view a, std::string_view b);

// True when the system's screen saver setting (the "system.ini" value, as
// written, and its long form when it could be had, else empty) names the
// screen saver being removed, given by its long path and its short path
// (empty when not known).
bool SettingNamesScreenSaver(std::string_view value, std::string_view valueLongForm,
                             std::string_view saverLongPath, std::string_view saverShortPath);

// The folders to remove once the files are gone, innermost first: the
// title directory, then VELDRAKE, then MARLOWEN. Each goes only when empty.
std::vector<std::string> DirectoriesToRemove(const UninstallPlace& place);

}  // namespace uninstaller
