// The /LOG file, through CreateFileA and WriteFile.
#include "installer/run_log.h"

#include <cstdarg>
#include <cstring>

#include "core/text/bounded_text.h"

namespace installer {

namespace {

constexpr std::size_t kLineSize = 1024;  // a line and its CR LF
HANDLE Log = INVALID_HANDLE_VALUE;

}  // namespace

void OpenRunLog(const char* path) {
  Log = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
}

void AppendRunLog(const char* path) {
  Log = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Log != INVALID_HANDLE_VALUE) SetFilePointer(Log, 0, nullptr, FILE_END);
}

bool RunLogOpen() { return Log != INVALID_HANDLE_VALUE; }

void LogLine(const char* format, ...) {
  if (Log == INVALID_HANDLE_VALUE) return;
  char line[kLineSize];
  va_list args;
  va_start(args, format);
  text::FormatTextV(line, sizeof line - 2, format, args);  // room kept for CR LF
  va_end(args);
  for (char* c = line; *c != '\0'; ++c)
    if (*c == '\r' || *c == '\n') *c = ' ';
  text::AppendText(line, "\r\n");
  const DWORD length = static_cast<DWORD>(std::strlen(line));
  DWORD written = 0;
  WriteFile(Log, line, length, &written, nullptr);
}

void LogFailure(const char* what, const char* why, DWORD error) {
  LogLine("failed %s: %s (error %lu)", what, why, static_cast<unsigned long>(error));
}

void CloseRunLog(int exitCode) {
  if (Log == INVALID_HANDLE_VALUE) return;
  LogLine("exit code %d", exitCode);
  CloseHandle(Log);
  Log = INVALID_HANDLE_VALUE;
}

}  // namespace installer
