// Bounded text operations on the installer's fixed buffers. Every function
// takes the buffer's full size in bytes (terminator included), never writes
// past it, and always leaves the buffer terminated.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace text {

// Copies `text`; false (and the buffer left empty) when it does not fit.
bool CopyText(char* buffer, std::size_t size, const char* text);

// Appends `text`; false (and the buffer unchanged) when the result would not
// fit. Callers treat false as "this path or message cannot be built".
bool AppendText(char* buffer, std::size_t size, const char* text);

// Appends at most `count` characters of `text` (fewer when a NUL comes
// first); false and unchanged when they do not fit.
bool AppendTextPart(char* buffer, std::size_t size, const char* text, std::size_t count);

// Appends `value` in decimal; false and unchanged when it does not fit.
// (No printf: small programs keep the C runtime's formatter out.)
bool AppendNumber(char* buffer, std::size_t size, unsigned long value);

// Removes trailing blanks (0x20 only, not tabs) in place.
void TrimTrailingBlanks(char* text);

// snprintf that reports whether the whole text fit (false: cut, terminated).
bool FormatText(char* buffer, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// FormatText over a va_list.
bool FormatTextV(char* buffer, std::size_t size, const char* format, va_list args);

template <std::size_t N>
bool CopyText(char (&buffer)[N], const char* text) { return CopyText(buffer, N, text); }
template <std::size_t N>
bool AppendText(char (&buffer)[N], const char* text) { return AppendText(buffer, N, text); }
template <std::size_t N>
bool AppendNumber(char (&buffer)[N], unsigned long value) { return AppendNumber(buffer, N, value); }

}  // namespace text
