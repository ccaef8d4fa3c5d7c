// Showing text read from an image: it is Windows-1252 and untrusted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>


namespace commands {

// UTF-8 for the Windows-1252 bytes (bytes that code page leaves undefined
// map to the C1 controls of the same value, as Windows maps them).
std::string Windows1252ToUtf8(std::string_view text);

// For terminal output: UTF-8 as above, with control characters shown as
// escapes (\r, \n, \t, \xNN) so that a name cannot move the cursor.
std::string Printable(std::string_view text);

// For a text of several lines (a licence): as Printable, but CR LF, a lone
// CR and LF each end a line ("\n") and tabs stay tabs.
std::string PrintableLines(std::string_view text);

// A count with a comma between groups of three digits, as the installer
// shows it ("1,234,567").
std::string Thousands(std::uint32_t value);

// "saverkit: <file>: <problem>" on stderr.
void PrintError(const std::string& file, const std::string& problem);
// "saverkit: <problem>" on stderr, for a failure that concerns no file.
void PrintError(const std::string& problem);

}  // namespace commands
