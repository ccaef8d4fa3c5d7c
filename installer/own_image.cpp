// Opening the installer's own image at its payload manifest.
#include "installer/own_image.h"

namespace installer {

using format::ManifestWalkError;
using format::ManifestWalkInfo;
using format::WalkToManifest;

namespace {

// _lopen mode 0x40: read-only, other openers not excluded.
constexpr int kOpenReadShared = OF_READ | OF_SHARE_DENY_NONE;
// GetModuleFileNameA buffer: 255 characters and the terminator.
constexpr DWORD kModulePathBufferSize = 256;

}  // namespace

bool LopenImageSource::SeekTo(std::uint32_t offset) {
  if (offset > 0x7FFFFFFFu) return false;  // beyond what _llseek can address
  return _llseek(file_, static_cast<LONG>(offset), FILE_BEGIN) == static_cast<LONG>(offset);
}

bool LopenImageSource::ReadAt(std::uint32_t offset, void* buffer, std::uint32_t size) {
  return SeekTo(offset) && _lread(file_, buffer, size) == size;
}

HFILE OpenManifestInImage(LPCSTR imagePath, ManifestWalkInfo* info) {
  ManifestWalkInfo local;
  if (!info) info = &local;
  HFILE file = _lopen(imagePath, kOpenReadShared);
  if (file == HFILE_ERROR) {
    info->error = ManifestWalkError::kOpenFailed;
    return HFILE_ERROR;
  }
  LopenImageSource source(file);
  if (WalkToManifest(source, info) == ManifestWalkError::kNone && !source.SeekTo(info->manifestOffset))
    info->error = ManifestWalkError::kCutShort;
  if (info->error != ManifestWalkError::kNone) {
    _lclose(file);
    return HFILE_ERROR;
  }
  return file;
}

namespace {

// The running installer's image path; false when it cannot be had whole.
bool OwnImagePath(char (&path)[kModulePathBufferSize]) {
  const DWORD length = GetModuleFileNameA(nullptr, path, kModulePathBufferSize);
  // 0 is failure; a length of the whole buffer means the path was cut.
  return length > 0 && length < kModulePathBufferSize;
}

}  // namespace

HFILE OpenPayloadManifest() {
  char path[kModulePathBufferSize];
  return OwnImagePath(path) ? OpenManifestInImage(path) : HFILE_ERROR;
}

void ReadOwnVersionInfo(format::VersionInfoFields* fields) {
  *fields = format::VersionInfoFields();
  char path[kModulePathBufferSize];
  if (!OwnImagePath(path)) return;
  const HFILE file = _lopen(path, kOpenReadShared);
  if (file == HFILE_ERROR) return;
  LopenImageSource source(file);
  format::ReadImageVersionInfo(source, fields);
  _lclose(file);
}

}  // namespace installer
