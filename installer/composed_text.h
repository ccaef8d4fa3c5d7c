// Fitting texts built from the title into the installer's fixed buffers.
// A title too long for its place is shortened and marked with "...", so
// that the words around it (" Screen Saver Installation") stay whole.
#pragma once

#include <cstddef>

namespace installer {

// Copies `text` into `out` (of `size` bytes); when it is longer than
// `maxChars` (or than the buffer holds), keeps its beginning and ends it
// with "...", so that the result has at most `maxChars` characters.
void ShortenToFit(char* out, std::size_t size, const char* text, std::size_t maxChars);

// Formats `format`, which holds exactly one %s, with `title` into `out`,
// shortening the title as needed so that the whole text fits.
void FormatWithTitle(char* out, std::size_t size, const char* format, const char* title);

// The installer caption "<title> Screen Saver Installation" (255 characters
// at most in a 256-byte buffer).
constexpr std::size_t kCaptionSize = 256;
void FormatInstallerCaption(char (&caption)[kCaptionSize], const char* title);

}  // namespace installer
