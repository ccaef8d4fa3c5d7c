// Shortening the title so that texts built from it fit their buffers.
#include "installer/composed_text.h"

#include <cstring>

#include "installer/installer_texts.h"
#include "core/text/bounded_text.h"

namespace installer {

using text::AppendText;
using text::AppendTextPart;
using text::FormatText;

namespace {
constexpr char kEllipsis[] = "...";
constexpr std::size_t kEllipsisLength = sizeof kEllipsis - 1;
}  // namespace

void ShortenToFit(char* out, std::size_t size, const char* text, std::size_t maxChars) {
  if (size == 0) return;
  if (maxChars > size - 1) maxChars = size - 1;
  out[0] = '\0';
  if (std::strlen(text) <= maxChars) {
    AppendTextPart(out, size, text, maxChars);
    return;
  }
  if (maxChars <= kEllipsisLength) {
    AppendTextPart(out, size, kEllipsis, maxChars);
    return;
  }
  AppendTextPart(out, size, text, maxChars - kEllipsisLength);
  AppendText(out, size, kEllipsis);
}

void FormatWithTitle(char* out, std::size_t size, const char* format, const char* title) {
  if (FormatText(out, size, format, title)) return;
  // The format's own characters, less the two of "%s", must stay.
  const std::size_t fixed = std::strlen(format) - 2;
  const std::size_t room = size - 1 > fixed ? size - 1 - fixed : 0;
  char shortened[kCaptionSize];
  ShortenToFit(shortened, sizeof shortened, title, room);
  FormatText(out, size, format, shortened);
}

void FormatInstallerCaption(char (&caption)[kCaptionSize], const char* title) {
  FormatWithTitle(caption, sizeof caption, kInstallerCaptionFormat, title);
}

}  // namespace installer
