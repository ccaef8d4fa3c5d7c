// libsaverkit on an arbitrary image held in memory: IdentifyMemory,
// Image::OpenMemory and every entry decoded in table order through one
// EntryReader. Nothing may crash; the only error is damage; no entry hands
// over more bytes than its installed size, nor the run more than its work
// budget; an image identify calls sound opens without damage; and the last
// entry decoded alone by a fresh reader gives the bytes it gave in order
// (the ring is rebuilt the same way).
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "saverkit/identify.h"
#include "saverkit/image.h"

namespace {

// Work budget of one reader: 24 bytes per byte of the image plus 4 MiB.
std::uint64_t Budget(std::size_t size) { return 24u * std::uint64_t{size} + (std::uint64_t{4} << 20); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  const saverkit::Identification found = saverkit::IdentifyMemory(bytes);
  FUZZ_CHECK(found.kind != saverkit::FileKind::kDamaged || !found.damage.empty());

  std::vector<saverkit::Image> opened;
  try {
    opened.push_back(saverkit::Image::OpenMemory(bytes));
  } catch (const saverkit::Error& error) {
    FUZZ_CHECK(error.kind() == saverkit::ErrorKind::kDamaged);
    FUZZ_CHECK(found.kind != saverkit::FileKind::kInstaller);
    return 0;
  }
  const saverkit::Image& image = opened.front();
  if (found.kind == saverkit::FileKind::kInstaller) {
    FUZZ_CHECK(image.damage().empty());
    FUZZ_CHECK(found.entries == image.entries().size());
    FUZZ_CHECK(found.title == image.title());
  }

  saverkit::EntryReader reader(image);
  std::uint64_t total = 0;
  std::vector<std::uint8_t> last;
  std::uint32_t lastPosition = 0;
  bool spent = false;
  try {
    for (const saverkit::Entry& entry : image.entries()) {
      std::vector<std::uint8_t> got;
      const saverkit::EntryResult result = reader.Decode(entry.position, [&](const std::uint8_t* piece, std::size_t n) {
        got.insert(got.end(), piece, piece + n);
        return true;
      });
      FUZZ_CHECK(result.written == got.size());
      FUZZ_CHECK(got.size() <= entry.size);
      FUZZ_CHECK(entry.installed() || result.status == saverkit::EntryStatus::kNotInstalled);
      total += got.size();
      if (result.status == saverkit::EntryStatus::kOk) {
        last = std::move(got);
        lastPosition = entry.position;
      }
    }
  } catch (const saverkit::Error& error) {
    FUZZ_CHECK(error.kind() == saverkit::ErrorKind::kDamaged);
    spent = true;
  }
  FUZZ_CHECK(total <= Budget(size));
  if (!spent && !last.empty()) {
    try {
      FUZZ_CHECK(image.Read(lastPosition, last.size()) == last);
    } catch (const saverkit::Error& error) {
      FUZZ_CHECK(error.kind() == saverkit::ErrorKind::kDamaged);
    }
  }
  return 0;
}
