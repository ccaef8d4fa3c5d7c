// The diagnostic log that /LOG=FILE asks for: plain ANSI text, one event a
// line ended by CR LF, written as it happens (so a run that ends at once,
// as on the decoder's short write, keeps what came before):
//
//   switches /S /LOG=C:\setup.log
//   question "Disk Full" "You will need ..." -> cancel (/S)
//   licence accepted (/S)
//   directory C:\WINDOWS\MARLOWEN (error 183)
//   file C:\WINDOWS\Sky.scr 3000 bytes
//   registry Software\...\Uninstall\Sky "InstallDate" = REG_SZ "20240517"   (HKEY_LOCAL_MACHINE)
//   registry HKEY_CURRENT_USER\Control Panel\Desktop "ScreenSaveActive" = REG_SZ "1"
//   system.ini [boot] SCRNSAVE.EXE = C:\WINDOWS\SKY.SCR
//   failed C:\WINDOWS\...\Sky.DAT: not written whole (error 112)
//   exit code 4
//
// Texts are cut to the line's 1 KiB; CR and LF inside a text become blanks.
#pragma once

#include <windows.h>

namespace installer {

// Creates (or empties) the log. A log that cannot be opened does not stop
// the installation: the log is a diagnosis of the run and the run is what
// the user asked for, so the run goes on unlogged (and the exit code still
// tells how it ended).
void OpenRunLog(const char* path);
// Opens the log for more lines at its end (the launcher's, after its
// elevated child wrote the run's).
void AppendRunLog(const char* path);
bool RunLogOpen();

// One line, formatted as printf does; nothing when no log is open.
void LogLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// "failed <what>: <why> (error N)", N the Win32 error.
void LogFailure(const char* what, const char* why, DWORD error);

// Writes "exit code N" and closes the log.
void CloseRunLog(int exitCode);

}  // namespace installer
