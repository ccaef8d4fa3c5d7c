// Installer programs for the packer's tests.
#include "stub_fixture.h"

#include <string>

namespace packtest {

namespace {

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
}

}  // namespace

std::vector<pack::ResourceItem> InstallerResources() {
  using pack::ResourceKey;
  std::vector<pack::ResourceItem> items;
  items.push_back({ResourceKey::Named("LASTRES"), ResourceKey::Number(1000), 1033, {0, 0, 0, 0}, false});
  items.push_back({ResourceKey::Number(3), ResourceKey::Number(1), 1033, Pattern(744, 1), false});
  items.push_back({ResourceKey::Number(14), ResourceKey::Number(101), 1033, Pattern(20, 2), false});
  const std::uint16_t dialogs[] = {103, 104, 106, 107};
  for (std::uint16_t id : dialogs)
    items.push_back({ResourceKey::Number(5), ResourceKey::Number(id), 1033, Pattern(100 + id, 3), false});
  items.push_back({ResourceKey::Number(16), ResourceKey::Number(1), 1033, Pattern(61, 4), false, 1252});
  return items;
}

std::vector<std::uint8_t> MakeStub(const StubLayout& layout) {
  pack::PeImageSpec spec;
  spec.sectionsBefore.push_back({".text", Pattern(0x300, 9), 0x60000020});
  spec.sectionsBefore.push_back({".data", Pattern(0x40, 8), 0xC0000040});
  spec.resources = layout.resources.empty() ? InstallerResources() : layout.resources;
  if (layout.relocationsBehind)
    spec.sectionsAfter.push_back({".reloc", Pattern(0x54, 5), 0x42000040, 5});
  if (layout.debugBehind) spec.sectionsAfter.push_back({"/4", Pattern(0x345, 6), 0x42100040});
  if (layout.codeBehind) spec.sectionsAfter.push_back({".late", Pattern(0x20, 7), 0x60000020});
  if (layout.symbols) spec.symbolTable = Pattern(18 * 5, 10);
  return pack::WritePeImage(spec).bytes;
}

std::vector<std::uint8_t> TextLikeBytes(std::size_t size, unsigned seed) {
  static const char* const kWords[] = {"aurora ", "night ", "sky ", "green ", "light ", "over ", "the ", "hills\r\n"};
  std::vector<std::uint8_t> bytes;
  unsigned state = seed;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    const std::string word = kWords[(state >> 16) % 8];
    bytes.insert(bytes.end(), word.begin(), word.end());
  }
  bytes.resize(size);
  return bytes;
}

std::vector<std::uint8_t> NoiseBytes(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::uint8_t& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace packtest
