// Installer programs for the packer's tests, made with the project's image
// writer: a code section, a resource section with the installer's kinds of
// resources (icon, dialogs, version) and the LASTRES placeholder, and on
// request the sections linkers leave behind the resources.
#pragma once

#include <cstdint>
#include <vector>

#include "pack/pe_image_writer.h"

namespace packtest {

struct StubLayout {
  bool relocationsBehind = false;  // a ".reloc" section behind ".rsrc"
  bool debugBehind = false;        // a discardable debug section behind it
  bool codeBehind = false;         // a loaded, non-discardable section behind it
  bool symbols = false;            // a COFF symbol table at the end
  std::vector<pack::ResourceItem> resources = {};  // empty: InstallerResources()
};

// Icon 1 and its group 101, dialogs 103, 104, 106 and 107, a version
// resource, and LASTRES 1000 (language 1033) with a 4-byte placeholder, in
// that order: the placeholder's data comes first, not last.
std::vector<pack::ResourceItem> InstallerResources();

std::vector<std::uint8_t> MakeStub(const StubLayout& layout = {});

// `size` bytes that compress well, and `size` that do not.
std::vector<std::uint8_t> TextLikeBytes(std::size_t size, unsigned seed);
std::vector<std::uint8_t> NoiseBytes(std::size_t size, unsigned seed);

}  // namespace packtest
