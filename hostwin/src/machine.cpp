// The machine's state, its path mapping, its settings file and the
// transcript channel to the runner.
#include "machine.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "hostwin/transcript.h"
#include "ini_text.h"
#include "short_names.h"

namespace hostwin {

MachineState& Machine() {
  static MachineState state;
  return state;
}

bool SameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// ---------------------------------------------------------------- paths
namespace {

bool HasDriveLetter(const char* path) {
  return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The entry of `folder` whose name equals `name` without regard to case, or
// whose 8.3 name does; `name` itself when none exists yet (a file about to
// be created).
std::string MatchComponent(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return name;
  std::string found;
  std::vector<std::string> all;
  while (dirent* entry = readdir(dir)) {
    std::string n = entry->d_name;
    if (n == name) {
      found = n;  // an exact match wins over a case variant
      break;
    }
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

bool WriteHostFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool ReadHostFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

}  // namespace

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
  if (!IsMachinePath(windowsPath)) return windowsPath;
  char drive = 'c';
  const char* rest = windowsPath;
  if (HasDriveLetter(windowsPath)) {
    drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    rest = windowsPath + 2;
  }
  std::string host = machineFolder + "/drive_" + drive;
  std::string component;
  auto flush = [&] {
    // Windows drops trailing dots and blanks from every name in a path
    // ("Title." and "Title " are the folder "Title"); "." and ".." stay.
    if (component != "." && component != "..") {
      std::size_t keep = component.find_last_not_of(". ");
      component.erase(keep == std::string::npos ? 0 : keep + 1);
    }
    if (component.empty() || component == ".") {
      component.clear();
      return;
    }
    if (component == "..") {
      std::size_t slash = host.rfind('/');
      if (host.size() > machineFolder.size() + 8 && slash != std::string::npos) host.erase(slash);
    } else {
      host = host + "/" + MatchComponent(host, component);
    }
    component.clear();
  };
  for (const char* at = rest; *at; ++at) {
    if (*at == '\\' || *at == '/') {
      flush();
    } else {
      component += *at;
    }
  }
  flush();
  return host;
}

std::string HostPathOf(const char* windowsPath) { return MapPath(Machine().folder, windowsPath); }

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
      "\r\n[Memory]\r\n"
      "FailLocalAlloc=" + JoinNumbers(settings.failLocalAllocCalls) + "\r\n"
      "FailGlobalAlloc=" + JoinNumbers(settings.failGlobalAllocCalls) + "\r\n"
      "\r\n[Accounts]\r\n"
      "User=" + settings.account + "\r\n"
      "Token=" + (settings.tokenLimited ? "limited" : "full") + "\r\n"
      "ElevateAs=" + settings.elevateAs + "\r\n"
      "Elevation=" + (settings.elevationRefused ? "refused" : "accepted") + "\r\n";
  if (!WriteHostFile(folder + "/machine.ini", text)) {
    if (error) *error = folder + "/machine.ini: cannot be written";
    return false;
  }
  return true;
}

bool LoadMachineSettings(const std::string& folder, MachineSettings* settings, std::string* error) {
  std::string text;
  const std::string path = folder + "/machine.ini";
  if (!ReadHostFile(path, &text)) {
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

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

bool CreateMachine(const std::string& folder, const MachineSettings& settings, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  if (!MakeHostDirectories(folder + "/drive_c")) return fail(folder + ": cannot create the machine folder");
  if (!SaveMachineSettings(folder, settings, error)) return false;
  MachineSettings check;
  if (!LoadMachineSettings(folder, &check, error)) return false;
  const std::string windows = MapPath(folder, settings.windowsDirectory.c_str());
  const std::string system = MapPath(folder, SystemDirectoryOf(settings).c_str());
  if (!MakeHostDirectories(windows) || !MakeHostDirectories(system))
    return fail(settings.windowsDirectory + ": cannot create the Windows directory");
  const std::string systemIni = MapPath(folder, JoinWindowsPath(settings.windowsDirectory, "system.ini").c_str());
  if (!Exists(systemIni) && !WriteHostFile(systemIni, kDefaultSystemIni)) return fail(systemIni + ": cannot be written");
  if (!Exists(folder + "/registry.reg") && !WriteHostFile(folder + "/registry.reg", DefaultRegistry(settings)))
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
