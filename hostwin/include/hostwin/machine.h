// The simulated Windows machine behind the stand-in, as a host folder:
//
//   <machine>/machine.ini    the settings below, an INI file (format below)
//   <machine>/registry.reg   the registry, REGEDIT4 text, read when a program
//                            starts and written back after every change
//   <machine>/drive_c/       drive C:, whose Windows directory holds a real
//                            system.ini
//
// Windows paths ("C:\WINDOWS\system.ini") map into drive_c, each component
// matched without regard to case (and by its generated 8.3 name, so the
// short paths that GetShortPathNameA hands out open the same files). A
// symbolic link inside the machine folder is never followed: a call that
// meets one fails with ERROR_ACCESS_DENIED.
//
// machine.ini (every key optional; a missing one keeps its default):
//
//   [Machine]
//   WindowsDirectory=C:\WINDOWS        a full path; C:\ for a drive root
//   SystemDirectory=                    empty: WindowsDirectory\SYSTEM32
//   ScreenWidth=1024
//   ScreenHeight=768
//   WindowCreation=works                or fails: CreateWindowExA gives NULL
//   FailDialogs=                        template ids DialogBoxParamA cannot create, e.g. 106
//   [Disk]
//   FreeBytes=21474836480               or unknown: both free-space queries fail; the
//                                       newer query reports it exactly, the older one
//                                       in whole clusters of 4096 bytes (8 x 512)
//   TotalBytes=0                        0: the larger of FreeBytes and 64 GiB
//   FreeSpaceExQuery=present            or missing (GetProcAddress gives NULL) or fails
//   WritableBytes=unlimited             or a count: the disk is full after that many
//   [Media]
//   ByExtension=.WAV .MID .RMI .AVI     what MCI_OPEN opens by extension
//   MPEGVideo=.MPG .MPEG .MPE .M1V .MP2 .MP3   what the "MPEGVideo" device opens
//   [Shell]
//   ShellExecuteResult=42               > 32 success, <= 32 failure
//   [Clock]
//   LocalDate=                          YYYY-MM-DD that GetLocalTime reports; empty: the
//                                       host's local date (as Wine reports it)
//   [Memory]
//   FailLocalAlloc=                     call numbers (from 1) that fail, e.g. 1,3
//   FailGlobalAlloc=
//   [Accounts]
//   User=Owner                          the account that starts the program and owns
//                                       the desktop; SYSTEM: the local system account
//                                       (S-1-5-18), as deployment tools run programs
//   Token=full                          full: an elevated token (TokenElevationType 2,
//                                       TokenIsElevated 1), what Wine gives every
//                                       process; limited: a standard user's or a
//                                       filtered administrator's token (3, 0)
//   ElevateAs=                          the account ShellExecuteExA "runas" runs the
//                                       program as: empty, the user itself (consent);
//                                       another account, an administrator whose
//                                       password the user typed (over the shoulder)
//   Elevation=accepted                  or refused: the prompt is answered No, and
//                                       ShellExecuteExA fails with ERROR_CANCELLED
//
// Each account has its own registry hive, HKEY_USERS\<account> in
// registry.reg (named by account rather than by SID, so that the file and
// the list of changes read plainly); HKEY_CURRENT_USER is the running
// process's account's hive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hostwin {

struct MachineSettings {
  // [Machine]
  std::string windowsDirectory = "C:\\WINDOWS";  // may be a drive root, "C:\"
  std::string systemDirectory;                   // empty: Windows directory + "\SYSTEM32"
  int screenWidth = 1024;                        // GetSystemMetrics SM_CXSCREEN
  int screenHeight = 768;                        // GetSystemMetrics SM_CYSCREEN
  bool windowCreationFails = false;              // CreateWindowExA returns NULL, sends nothing
  std::vector<int> failingDialogs;               // templates DialogBoxParamA cannot create (-1)

  // [Disk]
  bool freeSpaceKnown = true;                    // false: GetDiskFreeSpace(Ex)A both fail
  std::uint64_t freeBytes = 20ull << 30;         // free bytes available to the program
  std::uint64_t totalBytes = 0;                  // 0: the larger of freeBytes and 64 GiB
  enum class FreeSpaceExQuery { kPresent, kMissing, kFails };
  // kMissing: GetProcAddress(kernel32, "GetDiskFreeSpaceExA") gives NULL.
  // kFails: the newer query is there but returns FALSE.
  FreeSpaceExQuery freeSpaceExQuery = FreeSpaceExQuery::kPresent;
  // Bytes that all writes of one run together may still put on the disk
  // (_lwrite, WriteFile, fopen'ed streams); nullopt: no limit. A write that
  // does not fit stores what fits and fails with ERROR_DISK_FULL.
  std::optional<std::uint64_t> writableBytes;

  // [Media] Extensions (with the dot, compared without regard to case) that
  // MCI_OPEN accepts: by extension alone (MCI_OPEN_ELEMENT), and as device
  // type "MPEGVideo" (MCI_OPEN_TYPE | MCI_OPEN_ELEMENT).
  std::vector<std::string> mediaByExtension = {".WAV", ".MID", ".RMI", ".AVI"};
  std::vector<std::string> mediaAsMpegVideo = {".MPG", ".MPEG", ".MPE", ".M1V", ".MP2", ".MP3"};

  // [Shell] What ShellExecuteA returns: > 32 success, <= 32 an error code.
  int shellExecuteResult = 42;

  // [Clock] The date GetLocalTime reports, "YYYY-MM-DD"; empty: the host's
  // local date, so that a run agrees with Wine on the same host. Its time of
  // day is always the host's.
  std::string localDate;

  // [Memory] Which calls (counted from 1 within a run) fail and return NULL.
  std::vector<int> failLocalAllocCalls;
  std::vector<int> failGlobalAllocCalls;

  // [Accounts]
  std::string account = "Owner";  // the desktop's user, who starts the program
  bool tokenLimited = false;      // false: the full, elevated token that Wine gives
  std::string elevateAs;          // empty: `account` itself
  bool elevationRefused = false;
};

// The local system account's name in [Accounts] User.
constexpr char kSystemAccount[] = "SYSTEM";

// Creates the machine folder (and parents) when missing, with drive_c, the
// Windows and system directories, a default system.ini and registry when
// they do not exist yet, and writes `settings` to machine.ini.
bool CreateMachine(const std::string& folder, const MachineSettings& settings, std::string* error);

// machine.ini of `folder` into `settings` (defaults for what it leaves out).
bool LoadMachineSettings(const std::string& folder, MachineSettings* settings, std::string* error);
bool SaveMachineSettings(const std::string& folder, const MachineSettings& settings, std::string* error);

// The host path of a Windows path ("C:\...") inside the machine at `folder`;
// components matched without regard to case against what exists.
std::string HostPathInMachine(const std::string& folder, const std::string& windowsPath);

// The text of the REG_SZ (or REG_EXPAND_SZ) value `name` of the key at
// `keyPath` ("HKEY_LOCAL_MACHINE\..."; names compared without regard to
// case) in the machine's registry; false when there is none.
bool ReadMachineRegistryString(const std::string& folder, const std::string& keyPath, const std::string& name,
                               std::string* text);

// ------------------------------------------------------------------ changes
// What a run changed in the machine, for `saverkit preview` and tests.
struct MachineSnapshot {
  struct File {
    std::string path;  // Windows path, "C:\WINDOWS\My.scr" (case as on disk)
    std::uint64_t size = 0;
    std::uint64_t hash = 0;  // FNV-1a of the contents
    bool directory = false;
  };
  std::vector<File> files;                                  // sorted by path
  std::vector<std::pair<std::string, std::string>> registry;  // "KEY\\[value]" -> data text
  std::vector<std::pair<std::string, std::string>> systemIni; // "[section] key" -> value
};

MachineSnapshot TakeSnapshot(const std::string& folder);

// Every key and value of the machine's registry as it stands, keys in the
// order of their upper-cased paths, each followed by its values: for
// reports that need the data itself (a .reg export), not its description.
struct RegistryEntryState {
  std::string label;  // as MachineChange::what names it: KEY, KEY "NAME" or KEY @
  std::string key;    // "HKEY_LOCAL_MACHINE\Software\...", case as created
  std::string name;   // the value's name; "" the default value
  bool isKey = false;  // the key itself (no name, type or data)
  std::uint32_t type = 0;          // REG_SZ, REG_DWORD, ...
  std::vector<unsigned char> data;  // as stored (a REG_SZ with its NUL)
};
std::vector<RegistryEntryState> ReadMachineRegistry(const std::string& folder);

struct MachineChange {
  enum class Kind { kAdded, kChanged, kRemoved };
  enum class Area { kFile, kDirectory, kRegistry, kSystemIni };
  Kind kind;
  Area area;
  std::string what;    // Windows path, registry value, or "[section] key"
  std::string detail;  // file size ("1234 bytes"), or the new value
};

std::vector<MachineChange> CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after);

// One line per change, in the order files, directories, registry, system.ini:
//   file added C:\WINDOWS\My.scr 1234 bytes
//   directory added C:\WINDOWS\MARLOWEN
//   registry added HKEY_LOCAL_MACHINE\Software\...\My "DisplayName" = REG_SZ "My Screen Saver"
//   system.ini changed [boot] SCRNSAVE.EXE = C:\WINDOWS\MY.SCR
std::vector<std::string> FormatChanges(const std::vector<MachineChange>& changes);

}  // namespace hostwin
