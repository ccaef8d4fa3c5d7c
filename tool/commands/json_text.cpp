#include "tool/commands/json_text.h"

#include "tool/commands/text_output.h"

namespace commands {

std::string JsonText(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

std::string JsonString(std::string_view windows1252) {
  std::string json;
  AppendJsonString(json, windows1252);
  return json;
}

void AppendJsonString(std::string& out, std::string_view windows1252) {
  const std::size_t start = out.size();
  out += '"';
  std::size_t plain = 0;  // bytes of `windows1252` already in `out`
  for (std::size_t i = 0; i < windows1252.size(); ++i) {
    const char c = windows1252[i];
    if (c < 0x20 || c > 0x7E) {
      out.resize(start);
      out += JsonText(Windows1252ToUtf8(windows1252));
      return;
    }
    if (c == '"' || c == '\\') {
      out.append(windows1252, plain, i - plain);
      out += '\\';
      plain = i;
    }
  }
  out.append(windows1252, plain, windows1252.size() - plain);
  out += '"';
}

}  // namespace commands
