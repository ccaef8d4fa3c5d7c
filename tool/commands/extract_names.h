// The file each entry becomes in extract's one folder, as the installer
// leaves it on Windows. The installer writes the entries in table order:
// the screen saver into the Windows directory, every other entry into the
// title directory. Windows compares names without regard to case
// (text::SameWindowsName), so an entry written after another of the same
// name in the same folder replaces its bytes, and the file keeps the name
// it was first created under (a create over an existing file keeps its
// spelling).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "saverkit/image.h"

namespace commands {

struct ExtractName {
  static constexpr std::uint32_t kNotReplaced = 0xFFFFFFFFu;

  // The name the naming rules give the entry; empty when it does not fit.
  std::string name;
  // The file its bytes end in: the name of the first entry of the same name
  // in its folder (itself when it is the first).
  std::string file;
  // The position of the next entry of the same name in its folder, which
  // replaces this one's bytes; kNotReplaced for the last one. Entries the
  // installer does not write replace nothing and are replaced by nothing.
  std::uint32_t replacedBy = kNotReplaced;
};

// One for each entry of the table, in order.
std::vector<ExtractName> PlanExtractNames(const saverkit::Image& image);

// The name with every letter folded as Windows folds it, for comparing and
// keying names.
std::string FoldedName(const std::string& name);

}  // namespace commands
