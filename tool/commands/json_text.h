// JSON as the tool writes it: plain ASCII, every character from DEL on a \u
// escape, so that no C1 control (which some terminals obey) reaches a
// terminal raw, and bytes that are not UTF-8 become U+FFFD rather than
// stopping the output.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace commands {

// One value, on one line.
std::string JsonText(const nlohmann::ordered_json& value);

// A Windows-1252 text from an image as a JSON string: the same text as
// JsonText(Windows1252ToUtf8(text)), made without a JSON value when the text
// is printable ASCII, as most names are (a million entries notice).
std::string JsonString(std::string_view windows1252);
// The same, appended to `out`.
void AppendJsonString(std::string& out, std::string_view windows1252);

}  // namespace commands
