// Where the demo screen saver finds its data file and media files.
#include "demo/screensaver/saver_files.h"

#include <gtest/gtest.h>

namespace {

TEST(SaverFiles, TitleComesFromTheOwnFileName) {
  EXPECT_EQ(screensaver::TitleFromModulePath("C:\\WINDOWS\\Saverkit Aurora.scr"), "Saverkit Aurora");
  EXPECT_EQ(screensaver::TitleFromModulePath("C:\\WINDOWS\\My.Saver.scr"), "My.Saver");
  EXPECT_EQ(screensaver::TitleFromModulePath("C:\\WINDOWS\\aurora.SCR"), "aurora");
  EXPECT_EQ(screensaver::TitleFromModulePath("aurora"), "aurora");
  EXPECT_EQ(screensaver::TitleFromModulePath("C:\\WINDOWS\\.scr"), "");
  EXPECT_EQ(screensaver::TitleFromModulePath("C:\\WINDOWS\\"), "");
}

TEST(SaverFiles, DataFileIsWhereTheInstallerPutsIt) {
  EXPECT_EQ(screensaver::DataFilePathFor("C:\\WINDOWS", "Saverkit Aurora"),
            "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\Saverkit Aurora.DAT");
  EXPECT_EQ(screensaver::DataFilePathFor("C:\\", "A"), "C:\\MARLOWEN\\VELDRAKE\\A\\A.DAT");
  EXPECT_EQ(screensaver::TitleDirectoryFor("C:\\WINDOWS\\", "A"), "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\A");
  // Too long for the installer's buffers: no path at all, never a cut one.
  EXPECT_EQ(screensaver::DataFilePathFor("C:\\WINDOWS", std::string(120, 't')), "");
}

TEST(SaverFiles, MediaFilesInNumberOrder) {
  const std::vector<std::string> names = {
      "INSTALL.LOG", "UNINSTAL.EXE", "FILE0001.DAT", "juke0024.wav", "JUKE0023.MID",
      "JUKE10000.MID", "JUK_9999.MP3", "FILE0025", "JUKEBOX.MID", "JUKE023.MID", "notes.txt",
  };
  EXPECT_EQ(screensaver::SelectMediaFiles(names, "FILE0001.DAT"),
            (std::vector<std::string>{"JUKE0023.MID", "juke0024.wav", "FILE0025", "JUK_9999.MP3", "JUKE10000.MID"}));
}

}  // namespace
