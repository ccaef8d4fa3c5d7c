// The replace question, the disk-space warning and the free-space query.
#include "installer/preinstall_checks.h"

#include <sys/stat.h>

#include <cstring>

#include "installer/installer_state.h"
#include "installer/installer_texts.h"
#include "core/text/bounded_text.h"
#include "installer/windows_directory.h"
#include "installer/own_image.h"
#include "installer/own_manifest.h"
#include "installer/prompts.h"

namespace installer {

using format::AppendBackslashIfMissing;
using format::InstalledSize;
using format::PayloadEntry;
using format::kPathBufferSize;
using format::kTitleFieldSize;
using text::AppendText;
using text::AppendTextPart;
using text::CopyText;
using text::FormatText;
using text::FormatThousands;
using text::TrimTrailingBlanks;

namespace {

// The existence test looks for the upper-case extension; names compare
// without regard to case, so a lower-case ".scr" is found too.
constexpr char kExistingScreenSaverExtension[] = ".SCR";

std::uint32_t SumInstalledBytes(HFILE manifest) {
  std::uint32_t total = 0;
  std::uint16_t numberBase = 0;
  if (!SkipToEntryTable(manifest, &numberBase)) return 0;
  PayloadEntry entry;
  while (ReadNextEntry(manifest, &entry)) total += InstalledSize(entry);
  return total;
}

typedef BOOL(WINAPI* GetDiskFreeSpaceExFunction)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                                 PULARGE_INTEGER);

// The newer query, looked up at run time: systems before it lack it.
bool QueryFreeSpaceEx(const char* root, std::uint32_t* kilobytes) {
  HMODULE kernel = LoadLibraryA("KERNEL32.DLL");
  if (kernel == nullptr) return false;
  bool answered = false;
  // Through void(*)(), the one function type that casts to any other.
  auto query = reinterpret_cast<GetDiskFreeSpaceExFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  ULARGE_INTEGER available, total, totalFree;
  if (query != nullptr && query(root, &available, &total, &totalFree)) {
    *kilobytes = KilobytesFromBytes(available.QuadPart);
    answered = true;
  }
  FreeLibrary(kernel);
  return answered;
}

}  // namespace

BOOL ConfirmReplaceExisting(HINSTANCE) {
  char path[kPathBufferSize];
  if (!ReadWindowsDirectory(path, sizeof path)) return TRUE;

  char title[kTitleFieldSize + 1];
  CopyText(title, ScreenSaverTitle);
  TrimTrailingBlanks(title);
  char fileName[kPathBufferSize];
  // A name or path that does not fit cannot name an existing file.
  if (!CopyText(fileName, title) || !AppendText(fileName, kExistingScreenSaverExtension))
    return TRUE;
  if (!AppendBackslashIfMissing(path, sizeof path) || !AppendText(path, fileName)) return TRUE;

  struct _stat status;
  if (_stat(path, &status) != 0) return TRUE;

  char question[512];
  FormatText(question, sizeof question, kReplaceQuestionFormat, fileName);
  // Under /S an upgrade replaces.
  return Ask(question, kReplaceCaption, MB_YESNO | MB_ICONQUESTION, IDYES) != IDNO;
}

BOOL CheckDiskSpace(HINSTANCE) {
  HFILE manifest = OpenPayloadManifest();
  if (manifest == HFILE_ERROR) return TRUE;
  InstallTotalBytes += SumInstalledBytes(manifest);
  _lclose(manifest);

  // The directory's buffer receives the warning text afterwards.
  char text[512];
  if (!ReadWindowsDirectory(text, sizeof text)) return TRUE;
  const std::uint32_t freeKilobytes = GetFreeKilobytes(text);
  const std::uint32_t neededKilobytes = InstallTotalBytes >> 10;
  if (freeKilobytes > neededKilobytes) return TRUE;

  char needed[32];  // each count in a buffer of its own
  char available[32];
  FormatText(text, sizeof text, kDiskFullFormat, FormatThousands(neededKilobytes, needed),
             FormatThousands(freeKilobytes, available));
  // Under /S a short disk stops the installation before anything is written.
  return Ask(text, kDiskFullCaption, MB_OKCANCEL | MB_ICONINFORMATION, IDCANCEL) != IDCANCEL;
}

std::uint32_t KilobytesFromBytes(std::uint64_t bytes) {
  const std::uint64_t kilobytes = bytes >> 10;
  return kilobytes >= kFreeSpaceAtLeast4TiB ? kFreeSpaceAtLeast4TiB
                                            : static_cast<std::uint32_t>(kilobytes);
}

std::uint32_t GetFreeKilobytes(const char* directory) {
  // The root: the path cut after its last backslash among its first 32
  // characters. "C:\WINDOWS" gives "C:\", "C:\" stays "C:\".
  char root[33] = "";
  AppendTextPart(root, sizeof root, directory, sizeof root - 1);
  if (char* lastBackslash = std::strrchr(root, '\\')) lastBackslash[1] = '\0';

  std::uint32_t kilobytes = 0;
  if (QueryFreeSpaceEx(root, &kilobytes)) return kilobytes;

  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters))
    return kFreeSpaceUnknown;
  const std::uint64_t clusterBytes =
      static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector;
  // A product beyond 64 bits is far beyond 4 TiB.
  if (freeClusters != 0 && clusterBytes > UINT64_MAX / freeClusters) return kFreeSpaceAtLeast4TiB;
  return KilobytesFromBytes(clusterBytes * freeClusters);
}

}  // namespace installer
