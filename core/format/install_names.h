// The one place that knows how each payload entry is named when installed.
//
// Relative to the Windows directory (with its backslash):
//   position 0   <title>.scr
//   position 1   MARLOWEN\VELDRAKE\<title>\<title>.DAT
//   position 2   MARLOWEN\VELDRAKE\<title>\UNINSTAL.EXE
//   position 3+  MARLOWEN\VELDRAKE\<title>\<prefix><number><Name>
// where <title> is the trimmed title, <prefix> is chosen by Kind, <number>
// is NumberBase + position - 3 padded to four digits, and trailing blanks of
// the whole path are dropped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/format/manifest_layout.h"

namespace format {

constexpr char kMakerFolder[] = "MARLOWEN";
constexpr char kProductFolder[] = "VELDRAKE";
constexpr char kUninstallerName[] = "UNINSTAL.EXE";
constexpr char kInstallLogName[] = "INSTALL.LOG";
constexpr char kScreenSaverExtension[] = ".scr";
constexpr char kDataFileExtension[] = ".DAT";
constexpr std::size_t kPathBufferSize = 260;  // at most 259 characters
// The most files of one installation that Saverkit's UNINSTAL.EXE removes
// (the screen saver, the data file, itself and the media files, as the
// install log lists them); pack makes no image that installs more.
constexpr std::size_t kMostUninstalledFiles = 256;
// The Windows directory that the tool and the packer assume when they
// judge whether a path fits the installer's 259 characters.
constexpr char kReferenceWinDir[] = "C:\\WINDOWS\\";
// Under HKEY_LOCAL_MACHINE; the uninstall key is this + "\\" + title.
constexpr char kUninstallKeyParent[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// "JUK_" for Kind '_', "JUKE" for Kind 0, "FILE" for any other value.
const char* MediaFilePrefix(std::uint8_t kind);

// NumberBase + position - 3, in decimal, padded with zeros to four digits
// (five-digit numbers keep all five). `out` holds at least 20 bytes.
void FormatMediaNumber(std::uint32_t number, char* out, std::size_t size);

// Appends a backslash unless `path` is empty or already ends in one.
bool AppendBackslashIfMissing(char* path, std::size_t size);

// Builds the Windows directory path with its backslash into `out`.
// `windowsDirectory` as the system reports it (e.g. "C:\WINDOWS" or "C:\").
bool BuildWinDir(char* out, std::size_t size, const char* windowsDirectory);

// The title directory: WinDir + "MARLOWEN\VELDRAKE\" + title.
bool BuildTitleDirectory(char* out, std::size_t size, const char* winDir, const char* title);

// The uninstall registration key under HKEY_LOCAL_MACHINE:
// kUninstallKeyParent + "\\" + title.
bool BuildUninstallKeyName(char* out, std::size_t size, const char* title);

// The installed file name of a media entry: prefix, number and Name, without
// a leading backslash and with trailing blanks dropped, e.g. "JUKE0023.MID".
bool BuildMediaFileName(char* out, std::size_t size, const PayloadEntry& entry,
                        std::uint32_t position, std::uint16_t numberBase);

// The full destination of the entry at `position`, with the title trimmed.
// Pass winDir "" for a path relative to the Windows directory. False when
// the path would not fit `size` (at most size - 1 characters).
bool BuildInstalledPath(char* out, std::size_t size, const char* winDir, const char* title,
                        std::uint32_t position, const PayloadEntry& entry,
                        std::uint16_t numberBase);

// The entry's file name inside the folder it is installed in (the Windows
// directory for position 0, the title directory for the rest), e.g.
// "<title>.scr", "UNINSTAL.EXE", "JUKE0023.MID". False when it would not
// fit `size`.
bool BuildInstalledFileName(char* out, std::size_t size, const char* title,
                            std::uint32_t position, const PayloadEntry& entry,
                            std::uint16_t numberBase);

// Characters that Windows file names cannot hold (besides control characters).
constexpr char kReservedNameCharacters[] = "\\/:*?\"<>|";

// True when `name` is a Windows device name, alone or with any extension
// ("NUL", "nul.txt", "COM1.MID", blanks before the dot included): CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9, and COM and LPT with the
// superscript digits 1, 2 and 3 of Windows-1252 (0xB9, 0xB2, 0xB3).
bool IsDeviceName(const char* name);

// True when `name` is safe as one file name component inside a directory:
// not empty, no path separator, no drive or stream colon, not "." or "..",
// no control characters, no trailing dot or blank, not a device name.
bool IsSafeFileName(const char* name);

}  // namespace format
