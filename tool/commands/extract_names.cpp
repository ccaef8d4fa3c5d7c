// Which entry's bytes each file of an extraction holds, and under which name.
#include "tool/commands/extract_names.h"

#include <map>
#include <utility>

#include "core/format/install_names.h"
#include "core/text/windows_case.h"

namespace commands {

namespace {

// The entry's file name inside the folder it is installed in, as the
// naming rules give it; empty when it does not fit.
std::string InstalledFileName(const reader::PayloadImage& image, std::uint32_t position) {
  char name[4 * format::kPathBufferSize];
  const std::string title = image.Title();
  if (!format::BuildInstalledFileName(name, sizeof name, title.c_str(), position, image.entries[position],
                                      image.numberBase))
    return std::string();
  return name;
}

}  // namespace

std::string FoldedName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = text::FoldWindowsCase(c);
  return folded;
}

std::vector<ExtractName> PlanExtractNames(const reader::PayloadImage& image) {
  std::vector<ExtractName> plan(image.entries.size());
  // (in the Windows directory, folded name) -> the first and the latest
  // entry written under it.
  std::map<std::pair<bool, std::string>, std::pair<std::uint32_t, std::uint32_t>> written;
  for (std::uint32_t i = 0; i < plan.size(); ++i) {
    plan[i].name = InstalledFileName(image, i);
    plan[i].file = plan[i].name;
    if (image.InstallerRefusalOf(i) != format::InstallRefusal::kNone) continue;
    const auto key = std::make_pair(i == format::kScreenSaverPosition, FoldedName(plan[i].name));
    const auto [at, first] = written.try_emplace(key, i, i);
    if (first) continue;
    plan[at->second.second].replacedBy = i;
    at->second.second = i;
    plan[i].file = plan[at->second.first].name;
  }
  return plan;
}

}  // namespace commands
