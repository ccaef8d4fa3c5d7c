// The title rule (see title_rule.h).
#include "core/format/title_rule.h"

#include <cstring>

#include "core/format/install_names.h"

namespace format {

TitleFault CheckTitle(const char* title) {
  const std::size_t length = std::strlen(title);
  if (length == 0) return TitleFault::kEmpty;
  for (const char* p = title; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 0x20) return TitleFault::kControlCharacter;
  if (std::strpbrk(title, kReservedNameCharacters) != nullptr) return TitleFault::kReservedCharacter;
  if (title[std::strspn(title, ". ")] == '\0') return TitleFault::kOnlyDotsAndBlanks;
  if (title[0] == ' ') return TitleFault::kLeadingBlank;
  if (title[length - 1] == '.' || title[length - 1] == ' ') return TitleFault::kTrailingDotOrBlank;
  if (IsDeviceName(title)) return TitleFault::kDeviceName;
  return TitleFault::kNone;
}

}  // namespace format
