// The uninstaller's plan on arbitrary INSTALL.LOG text deletes only its title's
// screen saver in the Windows directory and files directly in its title
// directory, checked by plain text comparison. Input: a byte choosing the
// Windows directory, the title up to the first line feed, then the log.
#include <cstdint>
#include <string>
#include <string_view>

#include "demo/uninstaller/uninstall_plan.h"
#include "fuzz_check.h"

namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Nothing Windows would read as a path, a stream or another spelling of a name.
bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == '\\' || c == '/' || c == ':') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const kWindowsDirectories[] = {"C:\\WINDOWS", "C:\\", "d:\\Win\\NT"};
  const std::string windows = kWindowsDirectories[data[0] % 3];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t newline = rest.find('\n');
  const std::string_view title = rest.substr(0, newline);
  const std::string_view log = newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);

  std::string winDir = windows;
  if (winDir.back() != '\\') winDir += '\\';
  static uninstaller::UninstallPlace place;
  const std::string titleDirectory = winDir + "MARLOWEN\\VELDRAKE\\" + std::string(title);
  if (!uninstaller::MakeUninstallPlace(windows.c_str(), titleDirectory.c_str(), &place)) return 0;
  FUZZ_CHECK(IsPlainFileName(place.Title));
  const std::string saver = Upper(place.ScreenSaverPath);
  const std::string inside = Upper(place.TitleDirectory) + "\\";
  FUZZ_CHECK(saver == Upper(winDir + place.Title + ".scr"));
  FUZZ_CHECK(inside == Upper(winDir + "MARLOWEN\\VELDRAKE\\" + place.Title + "\\"));

  static uninstaller::RemovalPlan plan;  // about 100 KB
  uninstaller::PlanRemoval(place, log, &plan);
  for (std::size_t i = 0; i < plan.DeletionCount; ++i) {
    const std::string deletion = plan.Deletions[i];
    const std::string upper = Upper(deletion);
    if (upper == saver) continue;
    FUZZ_CHECK(upper.compare(0, inside.size(), inside) == 0);
    FUZZ_CHECK(IsPlainFileName(std::string_view(deletion).substr(inside.size())));
  }
  // Every line left alone lies inside the log.
  for (std::size_t i = 0; i < plan.LeftAloneCount; ++i)
    FUZZ_CHECK(plan.LeftAlone[i].Length > 0 && plan.LeftAlone[i].Offset + plan.LeftAlone[i].Length <= log.size());
  return 0;
}
