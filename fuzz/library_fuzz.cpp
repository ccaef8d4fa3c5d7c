// libsaverkit on an arbitrary image in memory: IdentifyMemory, OpenMemory and
// every entry decoded in order through one EntryReader (what must hold:
// README.md). The last entry decoded alone must give the bytes it gave in
// order: the ring is rebuilt the same way.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "saverkit/identify.h"
#include "saverkit/image.h"

using namespace saverkit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  const Identification found = IdentifyMemory(bytes);
  FUZZ_CHECK(found.kind != FileKind::kDamaged || !found.damage.empty());
  std::vector<Image> opened;
  try {
    opened.push_back(Image::OpenMemory(bytes));
  } catch (const Error& error) {
    FUZZ_CHECK(error.kind() == ErrorKind::kDamaged && found.kind != FileKind::kInstaller);
    return 0;
  }
  const Image& image = opened.front();
  if (found.kind == FileKind::kInstaller)
    FUZZ_CHECK(image.damage().empty() && found.entries == image.entries().size() && found.title == image.title());

  EntryReader reader(image);
  std::uint64_t total = 0;
  std::vector<std::uint8_t> last;
  std::uint32_t lastPosition = 0;
  try {
    for (const Entry& entry : image.entries()) {
      std::vector<std::uint8_t> got;
      const EntryResult result = reader.Decode(entry.position, [&](const std::uint8_t* piece, std::size_t n) {
        got.insert(got.end(), piece, piece + n);
        return true;
      });
      FUZZ_CHECK(result.written == got.size() && got.size() <= entry.size);
      FUZZ_CHECK(entry.installed() || result.status == EntryStatus::kNotInstalled);
      total += got.size();
      if (result.status == EntryStatus::kOk) {
        last = std::move(got);
        lastPosition = entry.position;
      }
    }
  } catch (const Error& error) {  // the budget spent: no entry is decoded alone
    FUZZ_CHECK(error.kind() == ErrorKind::kDamaged);
    last.clear();
  }
  FUZZ_CHECK(total <= 24u * std::uint64_t{size} + (std::uint64_t{4} << 20));  // one reader's work budget
  if (last.empty()) return 0;
  try {
    FUZZ_CHECK(image.Read(lastPosition, last.size()) == last);
  } catch (const Error& error) {
    FUZZ_CHECK(error.kind() == ErrorKind::kDamaged);
  }
  return 0;
}
