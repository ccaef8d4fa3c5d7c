// The title rule (see title_rule.h).
#include "core/format/title_rule.h"

#include <cstring>

#include "core/format/install_names.h"

TitleFault CheckTitle(const char* title) {
  const std::size_t length = std::strlen(title);
  if (length == 0) return TitleFault::Empty;
  for (const char* p = title; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 0x20) return TitleFault::ControlCharacter;
  if (std::strpbrk(title, kReservedNameCharacters) != nullptr) return TitleFault::ReservedCharacter;
  if (title[std::strspn(title, ". ")] == '\0') return TitleFault::OnlyDotsAndBlanks;
  if (title[0] == ' ') return TitleFault::LeadingBlank;
  if (title[length - 1] == '.' || title[length - 1] == ' ') return TitleFault::TrailingDotOrBlank;
  if (IsDeviceName(title)) return TitleFault::DeviceName;
  return TitleFault::None;
}
