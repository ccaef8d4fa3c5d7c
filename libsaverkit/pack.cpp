// Packing a request with the packer, from a stub read from a file.
#include "saverkit/pack.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "libsaverkit/failures.h"
#include "tool/packer/packer.h"
#include "tool/packer/stub_image.h"

namespace saverkit {

namespace {

std::vector<std::uint8_t> ReadStubFile(const std::string& path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int cause = errno ? errno : EIO;
    throw Error(ErrorKind::kIo, path, std::string("cannot read the installer program: ") + std::strerror(cause), cause);
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Error(ErrorKind::kIo, path, "cannot read the installer program", EIO);
  return bytes;
}

packer::MediaKind KindOf(MediaNaming naming) {
  switch (naming) {
    case MediaNaming::kJuke: return packer::MediaKind::kJuke;
    case MediaNaming::kJukUnderscore: return packer::MediaKind::kJukUnderscore;
    case MediaNaming::kFile: break;
  }
  return packer::MediaKind::kFile;
}

packer::PackInput InputOf(const PackFile& file) { return {file.path, file.bytes}; }

packer::PackRequest RequestOf(const PackRequest& request) {
  packer::PackRequest packed;
  packed.title = request.title;
  packed.publisher = request.publisher;
  packed.version = request.version;
  packed.url = request.url;
  packed.copyright = request.copyright;
  packed.license = request.licence;
  packed.licensePath = request.licencePath;
  packed.numberBase = request.numberBase;
  packed.kind = KindOf(request.naming);
  packed.store = request.store;
  packed.saver = InputOf(request.saver);
  packed.data = InputOf(request.data);
  packed.uninstaller = InputOf(request.uninstaller);
  for (const PackFile& media : request.media) packed.media.push_back(InputOf(media));
  return packed;
}

}  // namespace

PackedImage Pack(const PackRequest& request, const std::string& stubPath) {
  std::vector<std::uint8_t> stubBytes = ReadStubFile(stubPath);
  const packer::PackRequest packed = RequestOf(request);
  // The packer's refusals name their input; a stub that cannot carry a
  // payload names the stub.
  const packer::StubImage stub = Translated(stubPath, [&] {
    try {
      packer::StubImage read = packer::ReadStubImage(std::move(stubBytes));
      packer::RequirePayloadResourceFirst(read);
      return read;
    } catch (const packer::StubError& e) {
      throw Error(ErrorKind::kDamaged, stubPath, std::string("cannot be the installer program: ") + e.what());
    }
  });
  packer::PackResult result = Translated("", [&] {
    try {
      return packer::PackInstaller(stub, packed);
    } catch (const packer::StubError& e) {
      throw Error(ErrorKind::kDamaged, stubPath, std::string("cannot be the installer program: ") + e.what());
    }
  });
  PackedImage image;
  image.bytes = std::move(result.image);
  image.manifestOffset = result.manifestOffset;
  for (const packer::PackedEntry& entry : result.entries)
    image.entries.push_back({entry.installedName, entry.size, entry.storedSize, entry.compressed});
  return image;
}

}  // namespace saverkit
