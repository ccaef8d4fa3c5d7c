// Texts in an image (title, licence, names, VERSIONINFO values) are
// Windows-1252 bytes, returned as they stand; this converts them.
#pragma once

#include <string>
#include <string_view>

namespace saverkit {

// UTF-8 for Windows-1252 bytes. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the
// same value, as Windows maps them; so every byte string converts.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace saverkit
