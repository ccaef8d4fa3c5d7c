// The extraction driver: walks the entry table and installs each entry by
// its position (0 the screen saver into the Windows directory; 1 the data
// file, 2 the uninstaller and 3 on the media files into the title directory).
//
// Every entry is tried and logged. A file that is not written whole (cannot
// be created, data short or lying beyond the end of the image, unsafe name
// or title, path over 259 characters, no copy buffer) is remembered in the
// failed files, and then the screen saver is not activated. Each directory,
// file, registry value and the system.ini value go to the /LOG file, with
// the Win32 error of each failure (run_log.h).
#include "installer/extraction.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "core/text/bounded_text.h"
#include "installer/activation.h"
#include "installer/compressed_entry.h"
#include "installer/media_layer.h"
#include "installer/windows_directory.h"
#include "core/format/install_decision.h"
#include "core/format/install_names.h"
#include "installer/own_image.h"
#include "installer/own_manifest.h"
#include "installer/run_log.h"
#include "core/format/title_rule.h"

namespace installer {

using format::BuildInstalledPath;
using format::BuildTitleDirectory;
using format::BuildUninstallKeyName;
using format::BuildWinDir;
using format::CheckTitle;
using format::DataInsideImage;
using format::InstallDestination;
using format::InstallPlace;
using format::InstallRefusal;
using format::IsCompressed;
using format::PayloadEntry;
using format::TitleFault;
using format::kFirstMediaPosition;
using format::kInstallLogName;
using format::kPathBufferSize;
using format::kScreenSaverPosition;
using format::kTitleFieldSize;
using format::kUninstallKeyParent;
using format::kUninstallerPosition;
using text::AppendText;
using text::CopyText;
using text::FormatText;

namespace {

constexpr UINT kCopyBufferSize = 2048;
constexpr char kMpegVideoDevice[] = "MPEGVideo";
constexpr char kDisplayNameSuffix[] = " Screen Saver";
// The switch of QuietUninstallString: the uninstaller removes without asking.
constexpr char kQuietSwitch[] = " /S";
// Room for any path the naming rules can build from a 259-character Windows
// directory and a 260-character title, so that a path too long for the
// installer can still be named in the report.
constexpr std::size_t kLongPathSize = 4 * kPathBufferSize;

// What the extraction works with from its start to its end.
struct Extraction {
  Extraction(const ExtractionInputs& in, ExtractionResults& out) : in(in), out(out) {}
  const ExtractionInputs& in;
  ExtractionResults& out;
  char winDir[kPathBufferSize] = "";  // the Windows directory with its backslash
  bool destinationsUsable = false;    // Windows directory known, title one safe name
  HFILE manifest = HFILE_ERROR;       // the entry table's reader
  std::uint16_t numberBase = 0;
  std::uint64_t imageSize = UINT64_MAX;  // bytes in the image file; MAX when unknown
  BYTE* copyBuffer = nullptr;            // kCopyBufferSize bytes; null when not had
  HANDLE log = INVALID_HANDLE_VALUE;     // INSTALL.LOG, at its end
  char logPath[kPathBufferSize] = "";
  bool logIncomplete = false;
};

// `path` as it fits a report line: its end kept, its beginning "..." when
// it is longer than 259 characters.
void NameForReport(char (&shown)[kPathBufferSize], const char* path) {
  const std::size_t length = std::strlen(path);
  if (length < sizeof shown) {
    CopyText(shown, path);
    return;
  }
  CopyText(shown, "...");
  AppendText(shown, path + length - (sizeof shown - 4));
}

void CreateLoggedDirectory(const char* directory) {
  if (CreateDirectoryA(directory, nullptr)) {
    LogLine("directory %s", directory);
    return;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS) LogLine("directory %s (exists)", directory);
  else LogFailure(directory, "directory not created", error);
}

// Creates the title directory and its two parents, the maker's and the
// product's folders, in that order. Failures (an existing directory
// included) are ignored: a file whose directory is missing fails by itself.
void CreateTitleDirectories(const Extraction& run) {
  char directory[kPathBufferSize];
  if (!run.destinationsUsable ||
      !BuildTitleDirectory(directory, sizeof directory, run.winDir, run.in.title))
    return;
  for (char* level = directory + std::strlen(run.winDir);
       (level = std::strchr(level, '\\')) != nullptr; ++level) {
    *level = '\0';
    CreateLoggedDirectory(directory);
    *level = '\\';
  }
  CreateLoggedDirectory(directory);
}

void OpenInstallLog(Extraction& run) {
  char directory[kPathBufferSize];
  if (!run.destinationsUsable ||
      !BuildTitleDirectory(directory, sizeof directory, run.winDir, run.in.title) ||
      !CopyText(run.logPath, directory) || !AppendText(run.logPath, "\\") ||
      !AppendText(run.logPath, kInstallLogName)) {
    run.logIncomplete = true;
    return;
  }
  run.log = CreateFileA(run.logPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (run.log == INVALID_HANDLE_VALUE) {
    LogFailure(run.logPath, "install log not opened", GetLastError());
    run.logIncomplete = true;
    return;
  }
  SetFilePointer(run.log, 0, nullptr, FILE_END);
}

// One line: the path and CR LF.
void AppendLogLine(Extraction& run, const char* path) {
  if (run.log == INVALID_HANDLE_VALUE) return;
  char line[kPathBufferSize + 2];
  CopyText(line, path);
  AppendText(line, "\r\n");
  const DWORD length = static_cast<DWORD>(std::strlen(line));
  DWORD written = 0;
  if (!WriteFile(run.log, line, length, &written, nullptr) || written != length) {
    LogFailure(run.logPath, "install log line not written", GetLastError());
    run.logIncomplete = true;
  }
}

// Opens the entry table and notes the image's size, by which a compressed
// entry's data is checked to lie inside the image.
void OpenEntryTable(Extraction& run) {
  run.manifest = OpenPayloadManifest();
  if (run.manifest == HFILE_ERROR) {
    LogFailure("to open the manifest", "the image is damaged", GetLastError());
    run.out.damagedImage = true;
    return;
  }
  const LONG manifestStart = _llseek(run.manifest, 0, FILE_CURRENT);
  const LONG end = _llseek(run.manifest, 0, FILE_END);
  if (manifestStart >= 0 && end >= 0 &&
      _llseek(run.manifest, manifestStart, FILE_BEGIN) == manifestStart)
    run.imageSize = static_cast<std::uint32_t>(end);
  if (!SkipToEntryTable(run.manifest, &run.numberBase)) {
    LogFailure("to read the entry table", "the image is damaged", GetLastError());
    run.out.damagedImage = true;
    _lclose(run.manifest);
    run.manifest = HFILE_ERROR;
  }
}

void CloseEntryTable(Extraction& run) {
  if (run.manifest != HFILE_ERROR) _lclose(run.manifest);
  run.manifest = HFILE_ERROR;
}

InstallPlace PlaceOf(const Extraction& run) {
  return InstallPlace{run.winDir, run.in.title, run.numberBase, run.imageSize};
}

// The destination of the entry at `position`. False when it cannot be
// written there; `shown` then names it for the report.
bool BuildDestination(const Extraction& run, const PayloadEntry& entry, std::uint32_t position,
                      char (&destination)[kPathBufferSize], char (&shown)[kPathBufferSize]) {
  char path[kLongPathSize];
  if (InstallDestination(PlaceOf(run), entry, position, destination, path, sizeof path) ==
      InstallRefusal::kNone)
    return true;
  NameForReport(shown, path);
  LogFailure(shown, "this path cannot be written (unsafe name or title, or over 259 characters)",
             0);
  return false;
}

// The uninstall key as the log names it.
const char* LoggedKeyName = "";

// A REG_SZ value; the stored length includes the terminating zero.
LONG SetTextValue(HKEY key, const char* name, const char* text) {
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(std::strlen(text) + 1));
  if (result == ERROR_SUCCESS) LogLine("registry %s \"%s\" = REG_SZ \"%s\"", LoggedKeyName, name, text);
  else LogFailure(name, "registry value not set", static_cast<DWORD>(result));
  return result;
}

LONG SetNumberValue(HKEY key, const char* name, DWORD number) {
  const LONG result = RegSetValueExA(key, name, 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&number), sizeof number);
  if (result == ERROR_SUCCESS)
    LogLine("registry %s \"%s\" = REG_DWORD %lu", LoggedKeyName, name,
            static_cast<unsigned long>(number));
  else LogFailure(name, "registry value not set", static_cast<DWORD>(result));
  return result;
}

// InstallDate: the local date of the installation, YYYYMMDD.
void SetInstallDate(HKEY key) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[16];
  FormatText(date, sizeof date, "%04u%02u%02u", static_cast<unsigned>(now.wYear),
             static_cast<unsigned>(now.wMonth), static_cast<unsigned>(now.wDay));
  SetTextValue(key, "InstallDate", date);
}

// QuietUninstallString: the uninstaller in quotes, then its silent switch.
void SetQuietUninstallString(HKEY key, const char* uninstallerPath) {
  char command[kPathBufferSize + sizeof kQuietSwitch + 2];
  if (FormatText(command, sizeof command, "\"%s\"%s", uninstallerPath, kQuietSwitch))
    SetTextValue(key, "QuietUninstallString", command);
}

// What Apps & Features shows beside the name: the icon of the installed
// screen saver, the size (EstimatedSize, in KiB), and no Modify or Repair
// button, which would only start the uninstaller.
void DescribeInstalledProgram(HKEY key, const char* screenSaverPath, DWORD installTotalBytes) {
  if (screenSaverPath[0] != '\0') SetTextValue(key, "DisplayIcon", screenSaverPath);
  const DWORD kibibytes = installTotalBytes / 1024 + (installTotalBytes % 1024 != 0 ? 1 : 0);
  SetNumberValue(key, "EstimatedSize", kibibytes);
  SetNumberValue(key, "NoModify", 1);
  SetNumberValue(key, "NoRepair", 1);
}

// Publisher, DisplayVersion and URLInfoAbout: only what the author gave to
// pack (the image's own VERSIONINFO: CompanyName, ProductVersion, URL);
// an image without them registers none of the three.
void RegisterAuthorIdentity(HKEY key) {
  format::VersionInfoFields version;
  ReadOwnVersionInfo(&version);
  const struct {
    format::VersionField field;
    const char* value;
  } identity[] = {{format::kCompanyName, "Publisher"},
                  {format::kProductVersion, "DisplayVersion"},
                  {format::kUrl, "URLInfoAbout"}};
  for (const auto& item : identity)
    if (version.present[item.field] && version.text[item.field][0] != '\0')
      SetTextValue(key, item.value, version.text[item.field]);
}

// `screenSaverPath` is empty when the path does not fit.
void RegisterUninstaller(const ExtractionInputs& in, const char* uninstallerPath,
                         const char* screenSaverPath) {
  const char* title = in.title;
  // Only called with a title that the title rule accepts: an empty one
  // would name the list of installed programs itself.
  char keyName[sizeof kUninstallKeyParent + 1 + kTitleFieldSize];
  if (!BuildUninstallKeyName(keyName, sizeof keyName, title)) return;
  char keyClass[] = "";
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, keyClass,
                                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                      &disposition);
  if (created != ERROR_SUCCESS) {
    LogFailure(keyName, "uninstall key not created", static_cast<DWORD>(created));
    return;
  }
  LoggedKeyName = keyName;
  char displayName[kTitleFieldSize + sizeof kDisplayNameSuffix];
  FormatText(displayName, sizeof displayName, "%s%s", title, kDisplayNameSuffix);
  // Without a name the entry is not listed, so nothing else is told.
  if (SetTextValue(key, "DisplayName", displayName) == ERROR_SUCCESS) {
    SetTextValue(key, "UninstallString", uninstallerPath);
    DescribeInstalledProgram(key, screenSaverPath, in.installTotalBytes);
    SetQuietUninstallString(key, uninstallerPath);
    SetInstallDate(key);
    RegisterAuthorIdentity(key);
  }
  RegCloseKey(key);
  LoggedKeyName = "";
}

// Copies a stored entry through the copy buffer; true when the destination
// received all StoredSize bytes.
bool CopyStoredEntry(const Extraction& run, const PayloadEntry& entry, const char* destination) {
  if (run.copyBuffer == nullptr || entry.DataOffset > 0x7FFFFFFFu) return false;
  const LONG offset = static_cast<LONG>(entry.DataOffset);
  if (_llseek(run.manifest, offset, FILE_BEGIN) != offset) return false;
  HFILE file = _lcreat(destination, 0);
  if (file == HFILE_ERROR) return false;
  std::uint32_t remaining = entry.StoredSize;
  while (remaining > 0) {
    const UINT chunk = remaining < kCopyBufferSize ? remaining : kCopyBufferSize;
    const UINT got = _lread(run.manifest, run.copyBuffer, chunk);
    if (got == 0 || got > chunk) break;  // the image ends early, or a read error
    if (_lwrite(file, reinterpret_cast<LPCCH>(run.copyBuffer), got) != got) break;
    remaining -= got;
  }
  _lclose(file);
  return remaining == 0;
}

// True when the file at `path` holds exactly `size` bytes. A write that the
// C runtime buffered can fail as late as the file's closing, unseen by the
// decoder, so the result is checked on the file itself.
bool HasSize(const char* path, std::uint32_t size) {
  HFILE file = _lopen(path, OF_READ | OF_SHARE_DENY_NONE);
  if (file == HFILE_ERROR) return false;
  const LONG end = _llseek(file, 0, FILE_END);
  _lclose(file);
  return end >= 0 && static_cast<std::uint32_t>(end) == size;
}

// Decodes a compressed entry; the decoder opens the image by itself, so the
// table's reader is closed around it and opened afresh. Data that does not
// lie whole inside the image is not decoded: past its end the decoder would
// make up the whole expanded size (up to 2 GiB) from nothing.
bool WriteCompressedEntry(Extraction& run, const PayloadEntry& entry, const char* destination) {
  if (!DataInsideImage(entry, run.imageSize)) return false;
  CloseEntryTable(run);
  const int decoded = ExtractCompressedEntry(run.in.instance, entry.DataOffset,
                                             entry.ExpandedSize, entry.StoredSize, destination);
  run.manifest = OpenPayloadManifest();
  return decoded == 1 && HasSize(destination, entry.ExpandedSize);
}

// The media type that the list names: the file name's extension with its
// dot (".MID"), or the whole file name when it has none.
const char* MediaTypeOf(const char* path) {
  const char* name = std::strrchr(path, '\\');
  name = name != nullptr ? name + 1 : path;
  const char* dot = std::strrchr(name, '.');
  return dot != nullptr ? dot : name;
}

// Lists the file's type when the multimedia layer opens it neither by its
// extension nor as an MPEG video.
void CheckMediaFile(Extraction& run, const char* path) {
  LoadMediaLayer();
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = kMpegVideoDevice;
  open.lpstrElementName = path;
  const DWORD_PTR parameters = reinterpret_cast<DWORD_PTR>(&open);
  MCIERROR result = SendMediaCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT, parameters);
  if (result != 0)
    result = SendMediaCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, parameters);
  if (result != 0) {
    LogLine("media %s cannot play (MCI error %lu)", path, static_cast<unsigned long>(result));
    run.out.ListUnsupportedType(MediaTypeOf(path));
    return;
  }
  LogLine("media %s plays", path);
  MCI_GENERIC_PARMS close = {};
  SendMediaCommand(open.wDeviceID, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close));
}

// Installs the entry at `position`. False when the table cannot be read on.
bool InstallEntry(Extraction& run, const PayloadEntry& entry, std::uint32_t position) {
  if (position != kScreenSaverPosition && position != kUninstallerPosition)
    CreateTitleDirectories(run);
  char destination[kPathBufferSize];
  char shown[kPathBufferSize];
  if (!BuildDestination(run, entry, position, destination, shown)) {
    run.out.RecordFailedFile(shown);
    return true;
  }
  // Registered before its file is written.
  if (position == kUninstallerPosition) {
    char screenSaver[kPathBufferSize];
    if (!BuildInstalledPath(screenSaver, sizeof screenSaver, run.winDir, run.in.title,
                            kScreenSaverPosition, entry, run.numberBase))
      screenSaver[0] = '\0';
    RegisterUninstaller(run.in, destination, screenSaver);
  }

  const LONG nextEntry = _llseek(run.manifest, 0, FILE_CURRENT);
  const bool whole = IsCompressed(entry) ? WriteCompressedEntry(run, entry, destination)
                                         : CopyStoredEntry(run, entry, destination);
  const DWORD writeError = GetLastError();
  // Logged whatever became of the data.
  AppendLogLine(run, destination);
  if (whole) {
    LogLine("file %s %lu bytes", destination,
            static_cast<unsigned long>(IsCompressed(entry) ? entry.ExpandedSize : entry.StoredSize));
  } else {
    LogFailure(destination, "not written whole", writeError);
    run.out.RecordFailedFile(destination);
  }
  const bool tableGoesOn =
      run.manifest != HFILE_ERROR && nextEntry >= 0 &&
      _llseek(run.manifest, nextEntry, FILE_BEGIN) == nextEntry;
  if (position >= kFirstMediaPosition) CheckMediaFile(run, destination);
  return tableGoesOn;
}

// Makes the installed screen saver the screen saver of the user who started
// the installer, and switches it on (installer/activation).
void Activate(const Extraction& run) {
  char path[kPathBufferSize];
  if (!CopyText(path, run.winDir) || !AppendText(path, run.in.screenSaverFileName)) path[0] = '\0';
  ActivateInstalledScreenSaver(path);
}

}  // namespace

void RunExtraction(const ExtractionInputs& inputs, ExtractionResults* results) {
  Extraction run(inputs, *results);
  char windowsDirectory[kPathBufferSize];
  const bool winDirKnown = ReadWindowsDirectory(windowsDirectory, sizeof windowsDirectory) &&
                           BuildWinDir(run.winDir, sizeof run.winDir, windowsDirectory);
  if (!winDirKnown) run.winDir[0] = '\0';
  // A title the naming rules refuse would put files, the log or the key
  // somewhere else (or make Windows change the name): nothing is written.
  run.destinationsUsable = winDirKnown && CheckTitle(inputs.title) == TitleFault::kNone;
  if (winDirKnown && !run.destinationsUsable) {
    LogFailure(inputs.title, "the title is refused: nothing is written", 0);
    results->titleRefused = true;
  }

  CreateTitleDirectories(run);
  OpenInstallLog(run);
  OpenEntryTable(run);
  run.copyBuffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, kCopyBufferSize));

  PayloadEntry entry;
  for (std::uint32_t position = 0;
       run.manifest != HFILE_ERROR && ReadNextEntry(run.manifest, &entry); ++position) {
    if (!InstallEntry(run, entry, position)) break;
  }

  FreeMediaLayer();
  if (run.copyBuffer != nullptr) LocalFree(run.copyBuffer);
  CloseEntryTable(run);
  if (run.log != INVALID_HANDLE_VALUE) CloseHandle(run.log);
  if (run.logIncomplete)
    results->RecordFailedFile(run.logPath[0] != '\0' ? run.logPath : kInstallLogName);

  if (winDirKnown && results->AllMediaSupported() && results->failedFileCount == 0) Activate(run);
}

}  // namespace installer
