// The installer's own image: OpenPayloadManifest and ReadScreenSaverTitle
// run inside the stand-in, where GetModuleFileNameA names the image.
#include <gtest/gtest.h>

#include "hostwin/runner.h"
#include "core/imagewriter/manifest_writer.h"
#include "installer/own_image.h"
#include "installer/own_manifest.h"
#include "temp_files.h"

using namespace format;
using namespace installer;

namespace {

// A program that reports, in one message box, what the walk on its own
// image found and the title it read.
int WINAPI ReportOwnManifest(HINSTANCE, HINSTANCE, LPSTR, int) {
  HFILE manifest = OpenPayloadManifest();
  const bool found = manifest != HFILE_ERROR;
  if (found) _lclose(manifest);
  ScreenSaverTitle[0] = '?';
  ReadScreenSaverTitle();
  MessageBoxA(nullptr, ScreenSaverTitle, found ? "found" : "not found", MB_OK);
  return 0;
}

// The image's Windows path, padded with folders to exactly `length` characters.
std::string PathOfLength(std::size_t length) {
  std::string path = "C:\\";
  while (path.size() + 60 < length) path += std::string(50, 'd') + "\\";
  path += std::string(length - path.size() - 4, 's') + ".EXE";
  return path;
}

// The whole transcript of ReportOwnManifest run from an image at that path.
std::string RunWithImageAt(const std::string& windowsPath) {
  testsupport::TempFolder folder;
  imagewriter::ManifestContents contents;
  contents.title = "Own Title";
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(contents));
  std::string error;
  EXPECT_TRUE(hostwin::CreateMachine(folder.path() + "/machine", {}, &error)) << error;
  hostwin::RunOptions options;
  options.machineFolder = folder.path() + "/machine";
  options.imagePath = image;
  options.imageWindowsPath = windowsPath;
  options.answers = {"ok"};
  return hostwin::JoinTranscript(hostwin::RunProgram(options, ReportOwnManifest).transcript);
}

TEST(OwnImage, PathsUpTo255CharactersAreOpened) {
  const std::string fits = RunWithImageAt(PathOfLength(255));
  EXPECT_EQ(fits.rfind("message box \"found\" \"Own Title\" MB_OK -> ok = IDOK\n", 0), 0u) << fits;
  // One character more does not fit GetModuleFileNameA's 256-byte buffer:
  // the walk fails and the title keeps what it held.
  const std::string cut = RunWithImageAt(PathOfLength(256));
  EXPECT_EQ(cut.rfind("message box \"not found\" \"?\" MB_OK -> ok = IDOK\n", 0), 0u) << cut;
}

// The installer's adapter closes the file on every failed walk and leaves
// a found manifest's handle at its first byte.
TEST(OwnImage, FailedWalksCloseTheirFile) {
  testsupport::TempFolder folder;
  const std::vector<std::uint8_t> full = imagewriter::BuildInstallerImage({});
  ManifestWalkInfo info;
  HFILE found = OpenManifestInImage(folder.Write("full.exe", full).c_str(), &info);
  ASSERT_NE(found, HFILE_ERROR);
  EXPECT_EQ(_llseek(found, 0, FILE_CURRENT), static_cast<LONG>(info.manifestOffset));
  _lclose(found);

  const int descriptors = testsupport::OpenDescriptorCount();
  // The walk's last read is the data entry's RVA at ResourceBase + 72.
  const std::size_t walkEnd = info.resourceBase + 72 + 4;
  for (std::size_t size : {std::size_t{0}, std::size_t{63}, std::size_t{400}, walkEnd - 1}) {
    const std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<long>(size));
    EXPECT_EQ(OpenManifestInImage(folder.Write("cut.exe", cut).c_str(), &info), HFILE_ERROR) << size;
    EXPECT_EQ(info.error, ManifestWalkError::kCutShort) << size;
  }
  EXPECT_EQ(OpenManifestInImage((folder.path() + "/missing.exe").c_str(), &info), HFILE_ERROR);
  EXPECT_EQ(info.error, ManifestWalkError::kOpenFailed);
  EXPECT_EQ(testsupport::OpenDescriptorCount(), descriptors);
}

}  // namespace
