// A three-entry image titled "Sky", built byte by byte without the project's writer
// so that writer and reader cannot drift together:
//  - e_lfanew 0xE0; four section headers from 0x1D8, the fourth (at 0x250)
//    ".rsrc" with VirtualAddress 0x18000 and PointerToRawData 0xD000;
//  - root directory at 0xD000 with one named and three numbered types, the
//    first entry LASTRES -> 0x80000030; its name entry (id 1000) at 0xD040
//    -> 0x800000A8; its language entry (1033) at 0xD0B8 -> 0x150; the data
//    entry at 0xD150 with RVA 0x18CF0 and a declared size of 4;
//  - the manifest at 0xDCF0: no licence, title "Sky", NumberBase 23, three
//    compressed entries whose data runs to the end of the 907,977-byte file.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "payload/manifest_layout.h"

namespace skyimage {

constexpr std::uint32_t kManifestOffset = 0xDCF0;
constexpr std::uint32_t kFileSize = 907977;

inline std::vector<std::uint8_t> BuildHandmadeSkyImage() {
  std::vector<std::uint8_t> image(kFileSize, 0);
  std::uint8_t* p = image.data();
  p[0] = 'M';
  p[1] = 'Z';
  WriteLe32(p + 60, 0xE0);
  std::memcpy(p + 0xE0, "PE\0\0", 4);
  WriteLe16(p + 0xE0 + 4, 0x014C);
  WriteLe16(p + 0xE0 + 6, 4);  // NumberOfSections
  const char* names[4] = {".text", ".rdata", ".data", ".rsrc"};
  for (int i = 0; i < 4; ++i) std::memcpy(p + 0x1D8 + 40 * i, names[i], std::strlen(names[i]));
  WriteLe32(p + 0x250 + 12, 0x18000);
  WriteLe32(p + 0x250 + 20, 0xD000);
  WriteLe32(p + 0xD010 + 4, 0x80000030);
  WriteLe32(p + 0xD040 + 4, 0x800000A8);
  WriteLe32(p + 0xD0B8 + 4, 0x150);
  WriteLe32(p + 0xD150, 0x18CF0);
  WriteLe32(p + 0xD150 + 4, 4);

  std::uint8_t* m = p + kManifestOffset;
  WriteLe16(m, 0);
  std::memcpy(m + 2, "Sky", 3);
  WriteLe16(m + 262, 23);
  const std::uint32_t entries[3][3] = {
      {0xDE68, 126490, 245760}, {0x2CC82, 709544, 773702}, {0xDA02A, 15007, 32768}};
  for (int i = 0; i < 3; ++i) {
    std::uint8_t* e = m + 264 + 28 * i;
    WriteLe32(e + 0, entries[i][0]);
    WriteLe32(e + 4, entries[i][1]);
    WriteLe32(e + 8, entries[i][2]);
    std::memcpy(e + 12, ".TMP           ", 15);
    e[27] = 0x20;
  }
  return image;
}

}  // namespace skyimage
