// Finds the payload manifest inside an installer image file.
//
// The walk: e_lfanew (u32 at offset 60); the PE signature, file header and
// a 224-byte optional header skipped as one block of 248 bytes; 40-byte
// section headers up to the one named ".rsrc"; then the first 8-byte entry
// of the root directory, of the type's name directory and of the name's
// language directory (each directory's 16-byte header skipped), and the
// 16-byte data entry whose RVA locates the manifest.
#include "payload/image_walk.h"

#include <cstring>

#include "payload/manifest_layout.h"

namespace {

constexpr LONG kLfanewOffset = 60;
constexpr std::uint32_t kHeadersBeforeSections = 4 + 20 + 224;
constexpr std::uint32_t kNumberOfSectionsOffset = 4 + 2;  // from e_lfanew
constexpr std::uint32_t kSectionHeaderSize = 40;
constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
// _lopen mode 0x40: read-only, other openers not excluded.
constexpr int kOpenReadShared = OF_READ | OF_SHARE_DENY_NONE;
// GetModuleFileNameA buffer: 255 characters and the terminator.
constexpr DWORD kModulePathBufferSize = 256;

bool SeekTo(HFILE file, std::uint32_t offset) {
  if (offset > 0x7FFFFFFFu) return false;  // beyond what _llseek can address
  return _llseek(file, static_cast<LONG>(offset), FILE_BEGIN) == static_cast<LONG>(offset);
}

bool ReadExactly(HFILE file, void* buffer, UINT size) {
  return _lread(file, buffer, size) == size;
}

bool ReadU32At(HFILE file, std::uint32_t offset, std::uint32_t* value) {
  std::uint8_t raw[4];
  if (!SeekTo(file, offset) || !ReadExactly(file, raw, sizeof raw)) return false;
  *value = ReadLe32(raw);
  return true;
}

// OffsetToData of the first entry of the directory at ResourceBase + offset.
bool FirstEntryOffset(HFILE file, std::uint32_t resourceBase, std::uint32_t directoryOffset,
                      std::uint32_t* offsetToData) {
  return ReadU32At(file, resourceBase + directoryOffset + kDirectoryHeaderSize + 4, offsetToData);
}

ManifestWalkError Walk(HFILE file, ManifestWalkInfo* info) {
  std::uint32_t lfanew = 0;
  if (!ReadU32At(file, kLfanewOffset, &lfanew)) return ManifestWalkError::CutShort;

  std::uint8_t countRaw[2];
  if (!SeekTo(file, lfanew + kNumberOfSectionsOffset) || !ReadExactly(file, countRaw, 2))
    return ManifestWalkError::CutShort;
  const unsigned sectionCount = ReadLe16(countRaw);

  std::uint32_t virtualAddress = 0;
  std::uint32_t rawPointer = 0;
  bool found = false;
  for (unsigned i = 0; i < sectionCount && !found; ++i) {
    std::uint8_t header[kSectionHeaderSize];
    if (!SeekTo(file, lfanew + kHeadersBeforeSections + i * kSectionHeaderSize) ||
        !ReadExactly(file, header, sizeof header))
      return ManifestWalkError::CutShort;
    // The 8-byte name read as a NUL-terminated string, compared exactly.
    char name[9] = {};
    std::memcpy(name, header, 8);
    if (std::strcmp(name, ".rsrc") == 0) {
      virtualAddress = ReadLe32(header + 12);
      rawPointer = ReadLe32(header + 20);
      found = true;
    }
  }
  if (!found) return ManifestWalkError::NoResourceSection;

  const std::uint32_t resourceBase = rawPointer;
  std::uint32_t typeEntry = 0, nameEntry = 0, languageEntry = 0, dataRva = 0;
  if (!FirstEntryOffset(file, resourceBase, 0, &typeEntry) ||
      !FirstEntryOffset(file, resourceBase, typeEntry & ~kSubdirectoryFlag, &nameEntry) ||
      !FirstEntryOffset(file, resourceBase, nameEntry & ~kSubdirectoryFlag, &languageEntry) ||
      // The language entry's offset is taken whole: it names a data entry.
      !ReadU32At(file, resourceBase + languageEntry, &dataRva))
    return ManifestWalkError::CutShort;

  const std::uint32_t manifestOffset = dataRva - virtualAddress + rawPointer;
  if (!SeekTo(file, manifestOffset)) return ManifestWalkError::CutShort;
  if (info) {
    info->resourceBase = resourceBase;
    info->resourceVirtualAddress = virtualAddress;
    info->manifestOffset = manifestOffset;
  }
  return ManifestWalkError::None;
}

}  // namespace

HFILE OpenManifestInImage(LPCSTR imagePath, ManifestWalkInfo* info) {
  ManifestWalkInfo local;
  if (!info) info = &local;
  HFILE file = _lopen(imagePath, kOpenReadShared);
  if (file == HFILE_ERROR) {
    info->error = ManifestWalkError::OpenFailed;
    return HFILE_ERROR;
  }
  info->error = Walk(file, info);
  if (info->error != ManifestWalkError::None) {
    _lclose(file);
    return HFILE_ERROR;
  }
  return file;
}

HFILE OpenPayloadManifest() {
  char path[kModulePathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, path, kModulePathBufferSize);
  // 0 is failure; a length of the whole buffer means the path was cut.
  if (length == 0 || length >= kModulePathBufferSize) return HFILE_ERROR;
  return OpenManifestInImage(path);
}
