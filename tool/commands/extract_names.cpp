// Which entry's bytes each file of an extraction holds, and under which name.
#include "tool/commands/extract_names.h"

#include <map>
#include <utility>

#include "core/text/windows_case.h"

namespace commands {

std::string FoldedName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = text::FoldWindowsCase(c);
  return folded;
}

std::vector<ExtractName> PlanExtractNames(const saverkit::Image& image) {
  const std::vector<saverkit::Entry>& entries = image.entries();
  std::vector<ExtractName> plan(entries.size());
  // (in the Windows directory, folded name) -> the first and the latest
  // entry written under it.
  std::map<std::pair<bool, std::string>, std::pair<std::uint32_t, std::uint32_t>> written;
  for (std::uint32_t i = 0; i < plan.size(); ++i) {
    plan[i].name = entries[i].fileName;
    plan[i].file = plan[i].name;
    if (!entries[i].installed()) continue;
    // The screen saver goes into the Windows directory, the rest into the
    // title's folder.
    const auto key = std::make_pair(entries[i].role == saverkit::Role::kSaver, FoldedName(plan[i].name));
    const auto [at, first] = written.try_emplace(key, i, i);
    if (first) continue;
    plan[at->second.second].replacedBy = i;
    at->second.second = i;
    plan[i].file = plan[at->second.first].name;
  }
  return plan;
}

}  // namespace commands
