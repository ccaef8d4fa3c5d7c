// The installer's own image: OpenPayloadManifest and ReadScreenSaverTitle
// run inside the stand-in, where GetModuleFileNameA names the image.
#include <gtest/gtest.h>

#include "hostwin/runner.h"
#include "pack/manifest_writer.h"
#include "payload/image_walk.h"
#include "payload/manifest_reader.h"
#include "temp_files.h"

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

std::vector<std::string> RunWithImageAt(const std::string& windowsPath) {
  testsupport::TempFolder folder;
  pack::ManifestSpec spec;
  spec.title = "Own Title";
  const std::string image = folder.Write("setup.exe", pack::BuildInstallerImage(spec));
  std::string error;
  EXPECT_TRUE(hostwin::CreateMachine(folder.path() + "/machine", {}, &error)) << error;
  hostwin::RunOptions options;
  options.machineFolder = folder.path() + "/machine";
  options.imagePath = image;
  options.imageWindowsPath = windowsPath;
  options.answers = {"ok"};
  return hostwin::RunProgram(options, ReportOwnManifest).transcript;
}

TEST(OwnImage, PathsUpTo255CharactersAreOpened) {
  const std::vector<std::string> fits = RunWithImageAt(PathOfLength(255));
  ASSERT_FALSE(fits.empty());
  EXPECT_EQ(fits[0], "message box \"found\" \"Own Title\" MB_OK -> ok = IDOK") << hostwin::JoinTranscript(fits);

  // One character more does not fit GetModuleFileNameA's 256-byte buffer:
  // the walk fails and the title keeps what it held.
  const std::vector<std::string> cut = RunWithImageAt(PathOfLength(256));
  ASSERT_FALSE(cut.empty());
  EXPECT_EQ(cut[0], "message box \"not found\" \"?\" MB_OK -> ok = IDOK") << hostwin::JoinTranscript(cut);
}

}  // namespace
