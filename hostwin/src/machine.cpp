// The machine's state, its path mapping, its settings file and the
// transcript channel to the runner.
#include "machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/text/windows_case.h"
#include "hostwin/transcript.h"
#include "ini_text.h"
#include "short_names.h"

namespace hostwin {

MachineState& Machine() {
  static MachineState state;
  return state;
}

// Names, keys, sections and classes compare as Windows compares file names:
// the one fold of core/text, so that the stand-in takes two names for one
// file exactly when Windows does.
bool SameText(const std::string& a, const std::string& b) { return text::SameWindowsName(a, b); }

std::string UpperCase(std::string name) {
  for (char& c : name) c = text::FoldWindowsCase(c);
  return name;
}

// ---------------------------------------------------------------- paths
namespace {

bool HasDriveLetter(const char* path) {
  return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The entry of `folder` whose name equals `name` without regard to case, or
// whose 8.3 name does; `name` itself when none exists yet (a file about to
// be created). So a file created over an existing one of another case keeps
// the existing spelling, as CreateFile on Windows does.
std::string MatchComponent(int folder, const std::string& name) {
  // An exact match wins over a case variant: when one exists, no listing
  // is needed (a folder of thousands of files is listed once per new file,
  // not once per use of every path through it).
  struct stat exact;
  if (fstatat(folder, name.c_str(), &exact, AT_SYMLINK_NOFOLLOW) == 0) return name;
  DIR* dir = OpenListing(folder);
  if (!dir) return name;
  std::string found;
  std::vector<std::string> all;
  while (dirent* entry = readdir(dir)) {
    std::string n = entry->d_name;
    if (found.empty() && SameText(n, name)) found = n;
    all.push_back(n);
  }
  closedir(dir);
  if (!found.empty()) return found;
  if (name.find('~') != std::string::npos) {
    for (const std::string& n : all)
      if (n != "." && n != ".." && SameText(ShortNameOf(folder, n), name)) return n;
  }
  return name;
}

// The machine folder and its parents: the user's own path (mkdir -p).
bool MakeHostDirectories(const std::string& path) {
  std::string partial;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      partial = path.substr(0, i);
      if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// The names of a Windows path after its drive, as Windows reads them before
// any file system sees them: trailing dots and blanks dropped, "." skipped,
// ".." up one name (never above the root).
std::vector<std::string> NamesOf(const char* rest) {
  std::vector<std::string> names;
  std::string component;
  auto flush = [&] {
    if (component != "." && component != "..") {
      std::size_t keep = component.find_last_not_of(". ");
      component.erase(keep == std::string::npos ? 0 : keep + 1);
    }
    if (component == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!component.empty() && component != ".") {
      names.push_back(component);
    }
    component.clear();
  };
  for (const char* at = rest; *at; ++at) {
    if (*at == '\\' || *at == '/') flush();
    else component += *at;
  }
  flush();
  return names;
}

bool IsLinkIn(int folder, const std::string& name) {
  struct stat st;
  return fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The one walk behind every machine path: `names` from the machine folder,
// each folder opened from the one before without following a link; names
// from `firstMatched` on are matched against what exists (MatchComponent).
MachineEntry Walk(const std::string& machineFolder, const std::vector<std::string>& names,
                  std::size_t firstMatched) {
  MachineEntry entry;
  entry.host = machineFolder;
  HostFd folder(open(machineFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) entry.error = errno;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string name = folder && i >= firstMatched ? MatchComponent(folder.Get(), names[i]) : names[i];
    entry.host += "/" + name;
    if (i + 1 == names.size()) {
      entry.name = name;
      break;
    }
    if (!folder) continue;
    HostFd next(openat(folder.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) entry.error = IsLinkIn(folder.Get(), name) ? ELOOP : errno;
    folder = std::move(next);
  }
  if (folder && IsLinkIn(folder.Get(), entry.name)) entry.error = ELOOP;
  entry.folder = std::move(folder);
  return entry;
}

}  // namespace

void HostFd::Reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

DIR* OpenListing(int folder) {
  // A descriptor of its own: the listing's position is not the walk's.
  const int own = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (own < 0) return nullptr;
  DIR* dir = fdopendir(own);
  if (!dir) close(own);
  return dir;
}

MachineEntry ResolveMachinePath(const std::string& machineFolder, const char* windowsPath) {
  if (!windowsPath) {
    MachineEntry nowhere;
    nowhere.error = ENOENT;
    return nowhere;
  }
  if (!IsMachinePath(windowsPath)) {
    // A host path (the tests' own images): its folder opened as given.
    const std::string host = windowsPath;
    const std::size_t slash = host.rfind('/');
    MachineEntry entry;
    entry.host = host;
    entry.name = host.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : host.substr(0, slash);
    entry.folder.Reset(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!entry.folder) entry.error = errno;
    else if (IsLinkIn(entry.folder.Get(), entry.name)) entry.error = ELOOP;
    return entry;
  }
  char drive = 'c';
  const char* rest = windowsPath;
  if (HasDriveLetter(windowsPath)) {
    drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    rest = windowsPath + 2;
  }
  std::vector<std::string> names = NamesOf(rest);
  names.insert(names.begin(), std::string("drive_") + drive);
  return Walk(machineFolder, names, 1);
}

MachineEntry ResolvePath(const char* windowsPath) { return ResolveMachinePath(Machine().folder, windowsPath); }

MachineEntry MachineFolderFile(const std::string& machineFolder, const std::string& name) {
  return Walk(machineFolder, {name}, 1);
}

int OpenEntry(const MachineEntry& entry, int flags, mode_t mode) {
  if (!entry.Usable()) {
    errno = entry.error;
    return -1;
  }
  return openat(entry.folder.Get(), entry.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool StatEntry(const MachineEntry& entry, struct stat* status) {
  if (!entry.Usable()) {
    errno = entry.error;
    return false;
  }
  if (fstatat(entry.folder.Get(), entry.name.c_str(), status, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(status->st_mode)) {
    errno = ELOOP;
    return false;
  }
  return true;
}

bool ReadEntry(const MachineEntry& entry, std::string* text) {
  // O_NONBLOCK: a pipe planted in a file's place fails instead of blocking.
  HostFd fd(OpenEntry(entry, O_RDONLY | O_NONBLOCK));
  struct stat st;
  if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  text->clear();
  char block[1 << 16];
  for (;;) {
    const ssize_t n = read(fd.Get(), block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(block, static_cast<std::size_t>(n));
  }
}

namespace {

// Writes all of `text` to `fd` and closes it.
bool WriteAndClose(HostFd fd, const std::string& text) {
  if (!fd) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd.Get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return close(fd.Release()) == 0;
}

}  // namespace

bool WriteEntry(const MachineEntry& entry, const std::string& text) {
  return WriteAndClose(HostFd(OpenEntry(entry, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK)), text);
}

bool IsMachinePath(const char* path) { return path && (HasDriveLetter(path) || path[0] == '\\'); }

bool HasInvalidNameCharacter(const char* path) {
  if (!IsMachinePath(path)) return false;
  for (const char* p = path + (HasDriveLetter(path) ? 2 : 0); *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || std::strchr("<>:\"|?*", c)) return true;
  }
  return false;
}

std::string MapPath(const std::string& machineFolder, const char* windowsPath) {
  return ResolveMachinePath(machineFolder, windowsPath).host;
}

std::string HostPathInMachine(const std::string& folder, const std::string& windowsPath) {
  return MapPath(folder, windowsPath.c_str());
}

std::string JoinWindowsPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '\\') return directory + name;
  return directory + "\\" + name;
}

std::string WindowsDirectory() { return Machine().settings.windowsDirectory; }

namespace {
std::string SystemDirectoryOf(const MachineSettings& settings) {
  if (!settings.systemDirectory.empty()) return settings.systemDirectory;
  return JoinWindowsPath(settings.windowsDirectory, "SYSTEM32");
}
}  // namespace

std::string SystemDirectory() { return SystemDirectoryOf(Machine().settings); }

// ------------------------------------------------------------- settings
namespace {

std::string JoinList(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
  return out;
}

std::string JoinNumbers(const std::vector<int>& items) {
  std::string out;
  for (int item : items) out += (out.empty() ? "" : ",") + std::to_string(item);
  return out;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> out;
  std::string item;
  for (char c : text + " ") {
    if (c == ' ' || c == ',' || c == '\t') {
      if (!item.empty()) out.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return out;
}

bool ParseNumber(const std::string& text, std::uint64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || text[0] == '-') return false;
  *value = v;
  return true;
}

// A decimal number within [least, most]; false for anything else.
template <class Number>
bool ParseNumberIn(const std::string& text, std::uint64_t least, std::uint64_t most, Number* value) {
  std::uint64_t parsed = 0;
  if (!ParseNumber(text, &parsed) || parsed < least || parsed > most) return false;
  *value = static_cast<Number>(parsed);
  return true;
}

// A list of numbers within [least, most], separated by blanks or commas.
bool ParseNumberList(const std::string& text, std::uint64_t least, std::uint64_t most,
                     std::vector<int>* values) {
  for (const std::string& item : SplitList(text)) {
    int value = 0;
    if (!ParseNumberIn(item, least, most, &value)) return false;
    values->push_back(value);
  }
  return true;
}

// An account name names a registry hive: one key name, printable, at most
// 64 characters (Windows allows 20 for a local account).
bool IsAccountName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c >= 0x7F || c == '\\' || c == '%') return false;
  return true;
}

// Screens, in pixels: GetSystemMetrics answers an int, and the window code
// multiplies two of them, so both stay far below 2^15.
constexpr std::uint64_t kMostPixels = 16384;
// Numbers the stand-in keeps as an int (dialog ids, call counts, results).
constexpr std::uint64_t kMostInt = 0x7FFFFFFF;

}  // namespace

bool SaveMachineSettings(const std::string& folder, const MachineSettings& settings, std::string* error) {
  using Query = MachineSettings::FreeSpaceExQuery;
  const char* exQuery = settings.freeSpaceExQuery == Query::kMissing ? "missing"
                        : settings.freeSpaceExQuery == Query::kFails ? "fails"
                                                                     : "present";
  std::string text =
      "; A simulated Windows machine for the Win32 stand-in.\r\n"
      "[Machine]\r\n"
      "WindowsDirectory=" + settings.windowsDirectory + "\r\n"
      "SystemDirectory=" + settings.systemDirectory + "\r\n"
      "ScreenWidth=" + std::to_string(settings.screenWidth) + "\r\n"
      "ScreenHeight=" + std::to_string(settings.screenHeight) + "\r\n"
      "WindowCreation=" + (settings.windowCreationFails ? "fails" : "works") + "\r\n"
      "FailDialogs=" + JoinNumbers(settings.failingDialogs) + "\r\n"
      "\r\n[Disk]\r\n"
      "FreeBytes=" + (settings.freeSpaceKnown ? std::to_string(settings.freeBytes) : "unknown") + "\r\n"
      "TotalBytes=" + std::to_string(settings.totalBytes) + "\r\n"
      "FreeSpaceExQuery=" + exQuery + "\r\n"
      "WritableBytes=" + (settings.writableBytes ? std::to_string(*settings.writableBytes) : "unlimited") + "\r\n"
      "\r\n[Media]\r\n"
      "ByExtension=" + JoinList(settings.mediaByExtension) + "\r\n"
      "MPEGVideo=" + JoinList(settings.mediaAsMpegVideo) + "\r\n"
      "\r\n[Shell]\r\n"
      "ShellExecuteResult=" + std::to_string(settings.shellExecuteResult) + "\r\n"
      "\r\n[Clock]\r\n"
      "LocalDate=" + settings.localDate + "\r\n"
      "\r\n[Memory]\r\n"
      "FailLocalAlloc=" + JoinNumbers(settings.failLocalAllocCalls) + "\r\n"
      "FailGlobalAlloc=" + JoinNumbers(settings.failGlobalAllocCalls) + "\r\n"
      "\r\n[Accounts]\r\n"
      "User=" + settings.account + "\r\n"
      "Token=" + (settings.tokenLimited ? "limited" : "full") + "\r\n"
      "ElevateAs=" + settings.elevateAs + "\r\n"
      "Elevation=" + (settings.elevationRefused ? "refused" : "accepted") + "\r\n";
  if (!WriteEntry(MachineFolderFile(folder, "machine.ini"), text)) {
    if (error) *error = folder + "/machine.ini: cannot be written";
    return false;
  }
  return true;
}

bool LoadMachineSettings(const std::string& folder, MachineSettings* settings, std::string* error) {
  std::string text;
  const std::string path = folder + "/machine.ini";
  if (!ReadEntry(MachineFolderFile(folder, "machine.ini"), &text)) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  IniText ini = IniText::Parse(text);
  *settings = MachineSettings();
  std::string bad;
  auto number = [&](const char* section, const char* key, std::uint64_t* out) {
    auto value = ini.Get(section, key);
    if (value && !value->empty() && !ParseNumber(*value, out)) bad = key;
  };
  auto numberIn = [&](const char* section, const char* key, std::uint64_t least, std::uint64_t most, int* out) {
    auto value = ini.Get(section, key);
    if (value && !value->empty() && !ParseNumberIn(*value, least, most, out)) bad = key;
  };
  auto numbers = [&](const char* section, const char* key, std::uint64_t least, std::uint64_t most,
                     std::vector<int>* out) {
    auto value = ini.Get(section, key);
    if (value && !ParseNumberList(*value, least, most, out)) bad = key;
  };
  if (auto value = ini.Get("Machine", "WindowsDirectory"); value && !value->empty())
    settings->windowsDirectory = *value;
  if (auto value = ini.Get("Machine", "SystemDirectory")) settings->systemDirectory = *value;
  numberIn("Machine", "ScreenWidth", 1, kMostPixels, &settings->screenWidth);
  numberIn("Machine", "ScreenHeight", 1, kMostPixels, &settings->screenHeight);
  if (auto value = ini.Get("Machine", "WindowCreation")) settings->windowCreationFails = SameText(*value, "fails");
  numbers("Machine", "FailDialogs", 1, 0xFFFF, &settings->failingDialogs);
  if (auto value = ini.Get("Disk", "FreeBytes"); value && SameText(*value, "unknown")) {
    settings->freeSpaceKnown = false;
  } else {
    number("Disk", "FreeBytes", &settings->freeBytes);
  }
  number("Disk", "TotalBytes", &settings->totalBytes);
  if (auto value = ini.Get("Disk", "FreeSpaceExQuery")) {
    using Query = MachineSettings::FreeSpaceExQuery;
    if (SameText(*value, "missing")) settings->freeSpaceExQuery = Query::kMissing;
    else if (SameText(*value, "fails")) settings->freeSpaceExQuery = Query::kFails;
    else if (!value->empty() && !SameText(*value, "present")) bad = "FreeSpaceExQuery";
  }
  if (auto value = ini.Get("Disk", "WritableBytes"); value && !value->empty() && !SameText(*value, "unlimited")) {
    std::uint64_t limit = 0;
    if (ParseNumber(*value, &limit)) settings->writableBytes = limit;
    else bad = "WritableBytes";
  }
  if (auto value = ini.Get("Media", "ByExtension")) settings->mediaByExtension = SplitList(*value);
  if (auto value = ini.Get("Media", "MPEGVideo")) settings->mediaAsMpegVideo = SplitList(*value);
  numberIn("Shell", "ShellExecuteResult", 0, kMostInt, &settings->shellExecuteResult);
  if (auto value = ini.Get("Clock", "LocalDate"); value && !value->empty()) {
    int year = 0, month = 0, day = 0;
    if (!ParseLocalDate(*value, &year, &month, &day)) bad = "LocalDate";
    settings->localDate = *value;
  }
  numbers("Memory", "FailLocalAlloc", 1, kMostInt, &settings->failLocalAllocCalls);
  numbers("Memory", "FailGlobalAlloc", 1, kMostInt, &settings->failGlobalAllocCalls);
  if (auto value = ini.Get("Accounts", "User"); value && !value->empty()) settings->account = *value;
  if (auto value = ini.Get("Accounts", "Token"); value && !value->empty()) {
    settings->tokenLimited = SameText(*value, "limited");
    if (!settings->tokenLimited && !SameText(*value, "full")) bad = "Token";
  }
  if (auto value = ini.Get("Accounts", "ElevateAs")) settings->elevateAs = *value;
  if (auto value = ini.Get("Accounts", "Elevation"); value && !value->empty()) {
    settings->elevationRefused = SameText(*value, "refused");
    if (!settings->elevationRefused && !SameText(*value, "accepted")) bad = "Elevation";
  }
  if (!IsAccountName(settings->account)) bad = "User";
  if (!settings->elevateAs.empty() && !IsAccountName(settings->elevateAs)) bad = "ElevateAs";
  if (!bad.empty()) {
    if (error) *error = path + ": " + bad + " is not a valid value";
    return false;
  }
  const std::string& windows = settings->windowsDirectory;
  if (windows.size() < 3 || windows[1] != ':' || windows[2] != '\\') {
    if (error) *error = path + ": WindowsDirectory must be a full path such as C:\\WINDOWS";
    return false;
  }
  return true;
}

namespace {

const char kDefaultSystemIni[] = "[boot]\r\nshell=Explorer.exe\r\n";
// The user's screen saver switched off, and the list of installed programs.
std::string DefaultRegistry(const MachineSettings& settings) {
  return "REGEDIT4\r\n\r\n"
         "[HKEY_USERS\\" + settings.account + "\\Control Panel\\Desktop]\r\n"
         "\"ScreenSaveActive\"=\"0\"\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\r\n\r\n";
}

// Writes `text` to a file that does not exist yet; true when it exists
// already (as anything, a link included: it is left as it is).
bool CreateMissingFile(const MachineEntry& entry, const std::string& text) {
  if (entry.error == ELOOP) return true;
  HostFd fd(OpenEntry(entry, O_WRONLY | O_CREAT | O_EXCL));
  if (!fd) return errno == EEXIST;
  return WriteAndClose(std::move(fd), text);
}

}  // namespace

// A link met on the way is left as it stands: the installer meets it and
// fails there as it would on any folder it may not use.
bool MakeMachineDirectories(const std::string& folder, const std::string& windowsPath) {
  const std::vector<std::string> names = NamesOf(windowsPath.c_str() + 2);
  std::string path = windowsPath.substr(0, 2) + "\\";
  for (std::size_t i = 0; i <= names.size(); ++i) {
    if (i > 0) path += names[i - 1] + "\\";
    const MachineEntry entry = ResolveMachinePath(folder, path.c_str());
    if (entry.error == ELOOP) return true;
    if (!entry.Usable() || (mkdirat(entry.folder.Get(), entry.name.c_str(), 0755) != 0 && errno != EEXIST))
      return false;
  }
  return true;
}

bool CreateMachine(const std::string& folder, const MachineSettings& settings, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  if (!MakeHostDirectories(folder) || !MakeMachineDirectories(folder, "C:"))
    return fail(folder + ": cannot create the machine folder");
  if (!SaveMachineSettings(folder, settings, error)) return false;
  MachineSettings check;
  if (!LoadMachineSettings(folder, &check, error)) return false;
  if (!MakeMachineDirectories(folder, settings.windowsDirectory) ||
      !MakeMachineDirectories(folder, SystemDirectoryOf(settings)))
    return fail(settings.windowsDirectory + ": cannot create the Windows directory");
  // The temporary directories of the user and of the account that elevates.
  for (const std::string& account : {settings.account, settings.elevateAs}) {
    if (!account.empty() && !MakeMachineDirectories(folder, TempDirectoryOf(settings, account)))
      return fail(TempDirectoryOf(settings, account) + ": cannot be created");
  }
  const std::string systemIni = JoinWindowsPath(settings.windowsDirectory, "system.ini");
  if (!CreateMissingFile(ResolveMachinePath(folder, systemIni.c_str()), kDefaultSystemIni))
    return fail(MapPath(folder, systemIni.c_str()) + ": cannot be written");
  if (!CreateMissingFile(MachineFolderFile(folder, "registry.reg"), DefaultRegistry(settings)))
    return fail(folder + "/registry.reg: cannot be written");
  return true;
}

bool StartMachine(const std::string& folder, std::string* error) {
  MachineState& m = Machine();
  MachineSettings settings;
  if (!LoadMachineSettings(folder, &settings, error)) return false;
  m.folder = folder;
  m.driveCFolder = folder + "/drive_c";
  m.settings = settings;
  m.nextAnswer = 0;
  m.lastError = 0;
  m.bytesWritten = 0;
  m.localAllocCalls = m.globalAllocCalls = m.liveBlocks = 0;
  m.account = settings.account;
  m.fullToken = !settings.tokenLimited || SameText(settings.account, kSystemAccount);
  return true;
}

// ----------------------------------------------------------- transcript
std::string TranscriptText(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Quoted(const std::string& text) { return "\"" + TranscriptText(text) + "\""; }

namespace {

void SendToRunner(char kind, const std::string& payload) {
  MachineState& m = Machine();
  std::string record;
  record += kind;
  for (char c : payload) record += c == '\n' ? ' ' : c;
  record += '\n';
  std::size_t done = 0;
  while (done < record.size()) {
    ssize_t n = write(m.channel, record.data() + done, record.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void Emit(const std::string& text) {
  // Paths and key names stand unquoted in a line; escaped like the quoted
  // texts (which this leaves as they are), no name can end a line early,
  // reach the terminal raw or pose as another record to the runner.
  const std::string line = TranscriptText(text);
  MachineState& m = Machine();
  if (m.channel < 0) {
    m.captured.push_back(line);
  } else {
    SendToRunner('T', line);
  }
}

void Loud(const std::string& line) { Emit("!! " + line); }

std::string TakeAnswer() {
  MachineState& m = Machine();
  if (m.nextAnswer >= m.answers.size()) return "";
  if (m.channel >= 0) SendToRunner('A', m.answers[m.nextAnswer]);
  return m.answers[m.nextAnswer++];
}

void ExitProgram(int code) {
  if (Machine().channel >= 0) SendToRunner('X', std::to_string(code));
  std::exit(code);
}

std::uint64_t WritableBytesLeft() {
  const MachineState& m = Machine();
  if (!m.settings.writableBytes) return ~std::uint64_t{0};
  return m.bytesWritten >= *m.settings.writableBytes ? 0 : *m.settings.writableBytes - m.bytesWritten;
}

void CountWritten(std::uint64_t bytes) { Machine().bytesWritten += bytes; }

}  // namespace hostwin

namespace hostwin {

bool ParseLocalDate(const std::string& text, int* year, int* month, int* day) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
    if (text[i] < '0' || text[i] > '9') return false;
  *year = std::stoi(text.substr(0, 4));
  *month = std::stoi(text.substr(5, 2));
  *day = std::stoi(text.substr(8, 2));
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
  if (*year < 1601 || *month < 1 || *month > 12 || *day < 1) return false;
  return *day <= (*month == 2 && !leap ? 28 : kDays[*month - 1]);
}

}  // namespace hostwin
