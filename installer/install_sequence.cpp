// The install sequence: checks, confirmation, licence, the progress dialog
// (which extracts), the completion message, the information dialog and the
// start of the installed screen saver. Any stop returns at once, without a
// further message, with its exit code. Under /S nothing is shown: each
// question is answered as an unattended upgrade answers it (prompts.h).
#include "installer/install_sequence.h"

#include <windows.h>

#include <cstring>

#include "core/format/exit_codes.h"
#include "installer/activation.h"
#include "installer/composed_text.h"
#include "installer/dialogs.h"
#include "installer/extraction.h"
#include "installer/installer_state.h"
#include "installer/installer_texts.h"
#include "installer/preinstall_checks.h"
#include "installer/prompts.h"
#include "installer/run_log.h"
#include "core/text/bounded_text.h"
#include "installer/windows_directory.h"
#include "installer/own_manifest.h"
#include "installer/resources/resource_ids.h"

namespace installer {

using format::AppendBackslashIfMissing;
using format::kPathBufferSize;
using format::kScreenSaverExtension;
using text::AppendText;
using text::AppendTextPart;
using text::CopyText;
using text::FormatText;
using text::FormatThousands;
using text::TrimTrailingBlanks;

namespace {

constexpr std::size_t kMessageSize = 512;  // 511 characters and the terminator

// Upper-cases a to z only, in place, as the "C" locale does.
void UpperCaseAscii(char* text) {
  for (; *text != '\0'; ++text)
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

void FormScreenSaverFileName() {
  if (!CopyText(ScreenSaverFileName, ScreenSaverTitle) ||
      !AppendText(ScreenSaverFileName, kScreenSaverExtension))
    ScreenSaverFileName[0] = '\0';
}

bool ConfirmInstallation(const char* caption) {
  char directory[kPathBufferSize];
  ReadWindowsDirectory(directory, sizeof directory);  // "" when it cannot be had
  UpperCaseAscii(directory);
  char bytes[36];
  FormatThousands(InstallTotalBytes, bytes);
  // The directory and the count are shown whole; the title gets the rest.
  const std::size_t fixed = std::strlen(kConfirmationFormat) - 6 + std::strlen(directory) +
                            std::strlen(bytes);
  char title[sizeof ScreenSaverTitle];
  ShortenToFit(title, sizeof title, ScreenSaverTitle, kMessageSize - 1 - fixed);
  char text[kMessageSize];
  FormatText(text, sizeof text, kConfirmationFormat, title, directory, bytes);
  return Ask(text, caption, MB_OKCANCEL | MB_ICONINFORMATION, IDOK) == IDOK;
}

void RunProgressDialog() {
  if (Switches.silent) {
    RunExtraction({InstanceHandle, ScreenSaverTitle, ScreenSaverFileName, InstallTotalBytes},
                  &Extracted);
    return;
  }
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, InstallDlgProc, 0);
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

// Appends `list` (lines each ended by CR LF) to `text` so that `reserve`
// characters stay free below `limit`. When the whole list does not fit (or
// overflowed before), the lines that fit are followed by one "..." line.
void AppendLines(char (&text)[kMessageSize], std::size_t limit, const char* list,
                 bool overflowed, std::size_t reserve) {
  if (!overflowed && std::strlen(text) + std::strlen(list) + reserve <= limit) {
    AppendText(text, list);
    return;
  }
  const std::size_t markLength = std::strlen(kMoreLinesMark);
  for (const char* line = list; *line != '\0';) {
    const char* end = std::strstr(line, "\r\n");
    const std::size_t length = end != nullptr ? end + 2 - line : std::strlen(line);
    if (std::strlen(text) + length + markLength + reserve > limit) break;
    AppendTextPart(text, sizeof text, line, length);
    line += length;
  }
  AppendText(text, kMoreLinesMark);
}

void OfferMediaPlayerDownload() {
  char text[kMessageSize] = "";
  AppendText(text, kMissingCodecsHead);
  const std::size_t reserve = std::strlen(kMissingCodecsMiddle) +
                              std::strlen(kMediaPlayerPage) + std::strlen(kMissingCodecsTail);
  AppendLines(text, sizeof text - 1, Extracted.UnsupportedTypes, Extracted.unsupportedTypesOverflow,
              reserve);
  AppendText(text, kMissingCodecsMiddle);
  AppendText(text, kMediaPlayerPage);
  AppendText(text, kMissingCodecsTail);
  // Under /S: no box, and no browser.
  if (Tell(text, kMissingCodecsCaption, MB_OKCANCEL) != IDOK) return;
  HINSTANCE opened =
      ShellExecuteA(nullptr, "open", kMediaPlayerPage, nullptr, nullptr, SW_SHOWMAXIMIZED);
  LogLine("ShellExecuteA \"open\" \"%s\" = %ld", kMediaPlayerPage,
          static_cast<long>(reinterpret_cast<INT_PTR>(opened)));
  if (reinterpret_cast<INT_PTR>(opened) <= 32) Tell(kCannotConnect, kMediaPlayerPage, MB_OK | MB_ICONHAND);
}

void ReportFailedFiles(const char* caption) {
  // Room for the whole list of failed files and the fixed parts.
  char text[kFailedFilesSize + 256] = "";
  AppendText(text, kFailedFilesHead);
  AppendText(text, Extracted.failedFiles);
  if (Extracted.failedFilesNotListed > 0) {
    char more[32];
    FormatText(more, sizeof more, kFailedFilesMoreFormat, Extracted.failedFilesNotListed);
    AppendText(text, more);
  }
  AppendText(text, kFailedFilesTail);
  Tell(text, caption, MB_OK | MB_ICONHAND);
}

void ShowCompletion(const char* caption) {
  if (Extracted.failedFileCount > 0)
    ReportFailedFiles(caption);
  else if (Extracted.AllMediaSupported())
    Tell(kInstallationComplete, caption, MB_OK | MB_ICONEXCLAMATION);
  if (!Extracted.AllMediaSupported()) OfferMediaPlayerDownload();
}

void StartScreenSaver() {
  char path[kPathBufferSize];
  if (ReadWindowsDirectory(path, sizeof path) && AppendBackslashIfMissing(path, sizeof path) &&
      AppendText(path, ScreenSaverFileName))
    CopyText(ScreenSaverFileName, path);
  char shortPath[kPathBufferSize];
  const DWORD shortLength = GetShortPathNameA(ScreenSaverFileName, shortPath, sizeof shortPath);
  if (shortLength > 0 && shortLength < sizeof shortPath) {
    const UINT started = WinExec(shortPath, SW_SHOW);
    LogLine("started %s = %u", shortPath, started);
  }
}

// The code of a run that went through the extraction. A damaged image or a
// refused title is known before any file is written and is the cause of
// every file then missing, so it outranks the files; files not written
// outrank a media type that cannot play. (The decoder's short write ends
// the run at once with its own code: byte_streams.cpp.)
int ExtractionExitCode(const ExtractionResults& results, bool titleRead) {
  if (!titleRead || results.damagedImage || results.titleRefused) return format::kExitDamaged;
  if (results.failedFileCount > 0) return format::kExitFilesFailed;
  if (!results.AllMediaSupported()) return format::kExitMediaUnplayable;
  return format::kExitInstalled;
}

}  // namespace

int RunInstallSequence() {
  const bool titleRead = ReadScreenSaverTitle();
  if (!titleRead) LogFailure("to read the title", "the manifest cannot be read", GetLastError());
  if (!ConfirmReplaceExisting(InstanceHandle)) return format::kExitCancelled;
  if (!CheckDiskSpace(InstanceHandle)) return format::kExitDiskSpace;
  TrimTrailingBlanks(ScreenSaverTitle);

  char caption[kCaptionSize];
  FormatInstallerCaption(caption, ScreenSaverTitle);
  FormScreenSaverFileName();
  if (!ConfirmInstallation(caption)) return format::kExitCancelled;
  if (!ShowLicense(InstanceHandle)) return format::kExitCancelled;

  RunProgressDialog();
  ShowCompletion(caption);
  if (!Switches.silent)
    DialogBoxParamA(InstanceHandle, MAKEINTRESOURCEA(IDD_PRODUCT_INFO), nullptr, InfoDlgProc, 0);
  const int code = ExtractionExitCode(Extracted, titleRead);
  // Not started when something cannot play or was not installed whole:
  // then it was not made the system's screen saver either. Under /S it is
  // never started; the elevated child leaves the start to its launcher, and
  // the local system account has no desktop to start it on.
  if (!Extracted.AllMediaSupported() || Extracted.failedFileCount > 0 || Switches.silent ||
      !StartsScreenSaverHere())
    return code;
  StartScreenSaver();
  return code;
}

}  // namespace installer
