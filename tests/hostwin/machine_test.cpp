// The stand-in's machine inside the test process: names and paths, files
// and the full disk, profile strings, the registry, media, free space, the
// settings' file and the snapshots of changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "hostwin/machine.h"
#include "hostwin/src/ini_text.h"
#include "hostwin/src/machine.h"
#include "hostwin/src/names.h"
#include "hostwin/transcript.h"
#include "hostwin/src/registry_file.h"
#include "hostwin/src/short_names.h"
#include "temp_files.h"

namespace {

using hostwin::MachineSettings;

class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(MachineSettings()); }

  void Start(const MachineSettings& settings) {
    folder_ = temp_.path() + "/machine" + std::to_string(++starts_);
    std::string error;
    ASSERT_TRUE(hostwin::CreateMachine(folder_, settings, &error)) << error;
    ASSERT_TRUE(hostwin::StartMachine(folder_, &error)) << error;
    hostwin::Machine().channel = -1;
    hostwin::Machine().captured.clear();
  }

  std::string ReadHost(const std::string& windowsPath) const {
    return testsupport::FileText(hostwin::HostPathInMachine(folder_, windowsPath));
  }
  void MakeFile(const char* windowsPath, const std::string& contents = "x") {
    HFILE f = _lcreat(windowsPath, 0);
    ASSERT_NE(f, HFILE_ERROR) << windowsPath;
    ASSERT_EQ(_lwrite(f, contents.data(), static_cast<UINT>(contents.size())), contents.size());
    _lclose(f);
  }
  const std::vector<std::string>& Lines() const { return hostwin::Machine().captured; }

  testsupport::TempFolder temp_;
  std::string folder_;
  int starts_ = 0;
};

TEST_F(MachineTest, ShortNamesAreDeterministicAndOpenTheSameFile) {
  for (const char* name : {"SETUP.EXE", "title.scr", "A"})
    EXPECT_TRUE(hostwin::IsValidShortName(name)) << name;
  for (const char* name : {"ABCDEFGHI", "My Saver.scr", "a.b.c", "NAME.HTML", ".scr", "x+y.txt"})
    EXPECT_FALSE(hostwin::IsValidShortName(name)) << name;

  MakeFile("C:\\WINDOWS\\My Screen Saver.scr");
  MakeFile("C:\\WINDOWS\\My Screen Saver 2.scr");
  MakeFile("C:\\WINDOWS\\NAME.SCR");
  ASSERT_EQ(CreateDirectoryA("C:\\WINDOWS\\Program Files Folder", nullptr), TRUE);
  MakeFile("C:\\WINDOWS\\Program Files Folder\\.scr");

  // {long path, short path}
  const std::pair<const char*, const char*> expects[] = {
      {"C:\\WINDOWS\\My Screen Saver.scr", "C:\\WINDOWS\\MYSCRE~1.SCR"},
      {"C:\\WINDOWS\\My Screen Saver 2.scr", "C:\\WINDOWS\\MYSCRE~2.SCR"},
      {"c:\\windows\\name.scr", "c:\\WINDOWS\\NAME.SCR"},  // drive as given, names as on disk
      {"C:\\WINDOWS\\Program Files Folder\\.scr", "C:\\WINDOWS\\PROGRA~1\\SCR~1"},
      {"C:\\WINDOWS\\", "C:\\WINDOWS\\"},
  };
  for (const auto& [longPath, shortPath] : expects) {
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(longPath, buffer, sizeof buffer);
    ASSERT_EQ(n, std::strlen(shortPath)) << longPath;
    EXPECT_STREQ(buffer, shortPath);
    // The short path opens the same file.
    struct _stat st;
    EXPECT_EQ(_stat(buffer, &st), 0) << buffer;
  }
  char small[8];
  EXPECT_EQ(GetShortPathNameA("C:\\WINDOWS\\My Screen Saver.scr", small, sizeof small), 24u);  // needed, with NUL
  SetLastError(0);
  EXPECT_EQ(GetShortPathNameA("C:\\WINDOWS\\Missing Saver.scr", small, sizeof small), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The usual folders and a drive root are pinned by the installer's paths
// (and its winmm.dll, loaded from the system directory).
TEST_F(MachineTest, FixedFoldersFollowTheReturnConventions) {
  char buffer[MAX_PATH];
  std::strcpy(buffer, "untouched");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u);  // too small: size needed with the terminator
  EXPECT_STREQ(buffer, "untouched");

  MachineSettings root;
  root.windowsDirectory = "C:\\";
  Start(root);
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 11u);
  EXPECT_STREQ(buffer, "C:\\SYSTEM32");
  EXPECT_EQ(ReadHost("C:\\system.ini"), "[boot]\r\nshell=Explorer.exe\r\n");

  MachineSettings deep;
  deep.windowsDirectory = "C:\\" + std::string(120, 'A') + "\\" + std::string(140, 'B');
  Start(deep);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 265u);  // 264 characters do not fit in 260
}

// The log's lines and contents after two runs are pinned by
// Installation.AnsweredOkThroughout...AppendsToTheLog, the writes that fail on a
// full disk by FilesNotWrittenWhole's "disk full"; here: the return values.
TEST_F(MachineTest, WritesReturnAsWindowsDoes) {
  for (int run = 0; run < 2; ++run) {
    HANDLE log = CreateFileA("C:\\WINDOWS\\INSTALL.LOG", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), run == 0 ? 0u : static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(SetFilePointer(log, 0, nullptr, FILE_END), run == 0 ? 0u : 7u);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(log, "line\r\n\0", 7, &written, nullptr));
    EXPECT_EQ(written, 7u);
    EXPECT_TRUE(CloseHandle(log));
  }
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));

  MachineSettings small;
  small.writableBytes = 10;
  Start(small);
  HFILE f = _lcreat("C:\\WINDOWS\\A.BIN", 0);
  EXPECT_EQ(_lwrite(f, "123456", 6), 6u);
  EXPECT_EQ(_lwrite(f, "789012", 6), static_cast<UINT>(HFILE_ERROR));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  _lclose(f);
  EXPECT_EQ(ReadHost("C:\\WINDOWS\\A.BIN"), "1234567890");
  HANDLE h = CreateFileA("C:\\WINDOWS\\B.BIN", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 99;
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  CloseHandle(h);
}

// Binary streams, and one that cannot be opened, are pinned by every
// installation's data file; here: text mode.
TEST_F(MachineTest, FopenTextModeWritesCrLf) {
  FILE* out = fopen("C:\\WINDOWS\\Text.txt", "w");
  ASSERT_NE(out, nullptr);
  fputs("a\nb", out);
  fclose(out);
  EXPECT_EQ(ReadHost("C:\\WINDOWS\\TEXT.TXT"), "a\r\nb");
}

TEST_F(MachineTest, ProfileStringsEditTheRealFile) {
  EXPECT_TRUE(WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "C:\\WINDOWS\\MYSCRE~1.SCR", "system.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("Boot", "scrnsave.exe", "C:\\WINDOWS\\NEW.SCR", "SYSTEM.INI"));
  EXPECT_TRUE(WritePrivateProfileStringA("drivers", "wave", "x.drv", "system.ini"));
  EXPECT_EQ(ReadHost("C:\\WINDOWS\\system.ini"),
            "[boot]\r\nshell=Explorer.exe\r\nscrnsave.exe=C:\\WINDOWS\\NEW.SCR\r\n\r\n[drivers]\r\nwave=x.drv\r\n");
  char value[64];
  EXPECT_EQ(GetPrivateProfileStringA("BOOT", "SCRNSAVE.EXE", "none", value, sizeof value, "system.ini"), 18u);
  EXPECT_STREQ(value, "C:\\WINDOWS\\NEW.SCR");
  EXPECT_EQ(GetPrivateProfileStringA("boot", "missing", "none  ", value, sizeof value, "system.ini"), 4u);
  EXPECT_STREQ(value, "none");
  EXPECT_EQ(GetPrivateProfileStringA("boot", "shell", "", value, 4, "system.ini"), 3u);  // cut to fit
  EXPECT_STREQ(value, "Exp");
  EXPECT_TRUE(WritePrivateProfileStringA("boot", "shell", nullptr, "system.ini"));
  ASSERT_EQ(Lines().size(), 4u);  // the line's form is pinned by the installer's Sky::Activation
  EXPECT_EQ(Lines()[1], "profile C:\\WINDOWS\\SYSTEM.INI [Boot] scrnsave.exe = \"C:\\WINDOWS\\NEW.SCR\"");
  EXPECT_EQ(Lines()[3], "profile C:\\WINDOWS\\system.ini [boot] shell deleted");
}

// Which query is used, unknown space and 4 TiB are pinned by
// Installation.DiskSpaceWarning; here: bytes, whole clusters, roots.
TEST_F(MachineTest, FreeSpaceFollowsTheSettings) {
  MachineSettings s;
  s.freeBytes = (5ull << 40) + 123456789;
  Start(s);
  ULARGE_INTEGER available, total, totalFree;
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &totalFree));
  EXPECT_EQ(available.QuadPart, s.freeBytes);
  DWORD sectors, bytes, freeClusters, clusters;
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &clusters));
  EXPECT_EQ(std::uint64_t{sectors} * bytes * freeClusters, (5ull << 40) + 123453440);
  EXPECT_FALSE(GetDiskFreeSpaceA("C:\\WINDOWS", &sectors, &bytes, &freeClusters, &clusters));  // no root
  EXPECT_FALSE(GetDiskFreeSpaceA("D:\\", &sectors, &bytes, &freeClusters, &clusters));

  s.freeSpaceExQuery = MachineSettings::FreeSpaceExQuery::kMissing;
  Start(s);
  HMODULE kernel = LoadLibraryA("KERNEL32.DLL");
  EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), nullptr);
  FreeLibrary(kernel);
}

// Media lines are pinned by Installation.UnsupportedMediaTypesOfferTheDownloadPage;
// here: winmm.dll by full path only, extensions in any case, MPEGVideo.
TEST_F(MachineTest, MediaOpensAsTheSettingsSay) {
  MachineSettings s;
  s.mediaByExtension = {".mid"};
  s.mediaAsMpegVideo = {".MPG"};
  Start(s);
  MCI_GENERIC_PARMS close = {};
  EXPECT_EQ(mciSendCommandA(1, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close)),
            static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
  EXPECT_EQ(Lines().at(0),
            "!! mciSendCommandA called while winmm.dll is not loaded from the system directory");
  EXPECT_EQ(LoadLibraryA("winmm.dll"), nullptr);  // a bare name could load a planted copy
  EXPECT_EQ(Lines().at(2), "!! LoadLibraryA \"winmm.dll\" refused: not a full path in the system directory "
                           "C:\\WINDOWS\\SYSTEM32");
  HMODULE winmm = LoadLibraryA("C:\\WINDOWS\\SYSTEM32\\winmm.dll");
  ASSERT_NE(winmm, nullptr);
  MakeFile("C:\\WINDOWS\\A.MID");
  MakeFile("C:\\WINDOWS\\B.mpg");
  MCI_OPEN_PARMSA a = {}, b = {};
  a.lpstrElementName = "C:\\WINDOWS\\A.MID";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&a)), 0u);
  b.lpstrElementName = "C:\\WINDOWS\\B.mpg";
  b.lpstrDeviceType = "MPEGVideo";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&b)),
            static_cast<MCIERROR>(MCIERR_EXTENSION_NOT_FOUND));
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&b)),
            0u);
  EXPECT_EQ(b.wDeviceID, a.wDeviceID + 1u);
  for (MCIDEVICEID device : {a.wDeviceID, b.wDeviceID})
    EXPECT_EQ(mciSendCommandA(device, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close)), 0u);
  FreeLibrary(winmm);
}

// Settings that other tests set (the accounts by the installer's roads) are
// read back by every run through this file; here: the others, and a list
// left empty.
TEST_F(MachineTest, SettingsSurviveTheirFile) {
  MachineSettings s;
  s.systemDirectory = "C:\\WIN\\SYS";
  s.screenWidth = 640;
  s.screenHeight = 480;
  s.totalBytes = 99;
  s.mediaByExtension = {".MID"};
  s.mediaAsMpegVideo = {};
  s.failGlobalAllocCalls = {2, 5};
  std::string error;
  ASSERT_TRUE(hostwin::SaveMachineSettings(folder_, s, &error)) << error;
  MachineSettings back;
  ASSERT_TRUE(hostwin::LoadMachineSettings(folder_, &back, &error)) << error;
  EXPECT_EQ(std::tie(back.systemDirectory, back.screenWidth, back.screenHeight, back.totalBytes,
                     back.mediaByExtension, back.mediaAsMpegVideo, back.failGlobalAllocCalls),
            std::tie(s.systemDirectory, s.screenWidth, s.screenHeight, s.totalBytes, s.mediaByExtension,
                     s.mediaAsMpegVideo, s.failGlobalAllocCalls));

  // Out of range or not a number: refused by name, never wrapped into an int
  // that the window code would then multiply.
  const char* const refused[][2] = {
      {"[Disk]\r\nWritableBytes=lots", "WritableBytes"},
      {"[Machine]\r\nScreenWidth=99999999999", "ScreenWidth"},
      {"[Machine]\r\nScreenHeight=2147483647", "ScreenHeight"},
      {"[Machine]\r\nScreenWidth=0", "ScreenWidth"},
      {"[Machine]\r\nFailDialogs=103,x", "FailDialogs"},
      {"[Shell]\r\nShellExecuteResult=-5", "ShellExecuteResult"},
      {"[Memory]\r\nFailLocalAlloc=4294967297", "FailLocalAlloc"},
      // An account names a registry hive: one printable key name.
      {"[Accounts]\r\nUser=Ann\\Evil", "User"},
      {"[Accounts]\r\nElevateAs=\x1b[2J", "ElevateAs"},
      {"[Accounts]\r\nToken=admin", "Token"},
      {"[Accounts]\r\nElevation=maybe", "Elevation"},
  };
  for (const auto& [text, key] : refused) {
    testsupport::TempFolder other;
    other.Write("machine.ini", std::string(text) + "\r\n");
    EXPECT_FALSE(hostwin::LoadMachineSettings(other.path(), &back, &error)) << text;
    EXPECT_NE(error.find(std::string(key) + " is not a valid value"), std::string::npos) << error;
  }
}

// Names in another case (_stat, _lcreat, _lopen) are pinned by the
// installer's "lower-case screen saver" case.
TEST_F(MachineTest, PathsFollowWindowsNameRules) {
  MakeFile("C:\\WINDOWS\\Title.scr", "saver");
  struct _stat st;
  ASSERT_EQ(_stat("c:\\windows\\TITLE.SCR", &st), 0);
  EXPECT_EQ(st.st_mode & _S_IFMT, _S_IFREG);
  EXPECT_EQ(st.st_size, 5);
  ASSERT_EQ(_stat("C:\\Windows", &st), 0);
  EXPECT_EQ(st.st_mode & _S_IFMT, _S_IFDIR);
  // Trailing dots and blanks of each name are dropped, as Windows does.
  ASSERT_EQ(CreateDirectoryA("C:\\WINDOWS\\My.Saver.", nullptr), TRUE);
  MakeFile("C:\\WINDOWS\\My.Saver.\\My.Saver..DAT");
  ASSERT_EQ(CreateDirectoryA("C:\\WINDOWS\\Blank ", nullptr), TRUE);
  MakeFile("C:\\WINDOWS\\Blank \\x.txt ");
  EXPECT_EQ(_stat("C:\\WINDOWS\\My.Saver\\My.Saver..DAT", &st), 0);
  struct stat host;
  EXPECT_EQ(::stat((folder_ + "/drive_c/WINDOWS/My.Saver/My.Saver..DAT").c_str(), &host), 0);
  EXPECT_EQ(_stat("C:\\WINDOWS\\Blank\\x.txt", &st), 0);
  // Names Windows refuses.
  for (const char* bad : {"C:\\WINDOWS\\A:B.MID", "C:\\WINDOWS\\A?.MID", "C:\\WINDOWS\\A|B"}) {
    EXPECT_EQ(_lcreat(bad, 0), HFILE_ERROR) << bad;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << bad;
  }
  // ".." goes up, and never above the drive's root.
  MakeFile("C:\\WINDOWS\\My.Saver\\..\\..\\..\\..\\UP.TXT");
  EXPECT_EQ(_stat("C:\\UP.TXT", &st), 0);
  EXPECT_EQ(CreateDirectoryA("C:\\windows\\my.saver", nullptr), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(CreateDirectoryA("C:\\WINDOWS\\NONE\\DEEPER", nullptr), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateDirectoryA(("C:\\" + std::string(250, 'D')).c_str(), nullptr), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
  // Calls that fail are not told.
  EXPECT_EQ(Lines().back(), "file close C:\\WINDOWS\\My.Saver\\..\\..\\..\\..\\UP.TXT 1 bytes");
}

// A link inside the machine is never followed: every call that meets one,
// on the way or as the last name, dangling or not, fails with
// ERROR_ACCESS_DENIED, and what lies outside stays as it was.
TEST_F(MachineTest, LinksInsideTheMachineAreNeverFollowed) {
  testsupport::TempFolder outside;
  const std::string victim = outside.Write("victim.txt", std::string("precious"));
  const std::string windows = folder_ + "/drive_c/WINDOWS/";
  ASSERT_EQ(symlink(victim.c_str(), (windows + "FILE.LNK").c_str()), 0);
  ASSERT_EQ(symlink(outside.path().c_str(), (windows + "DIR").c_str()), 0);
  ASSERT_EQ(symlink((outside.path() + "/absent").c_str(), (windows + "GONE").c_str()), 0);
  char shortPath[MAX_PATH];
  struct Case {
    const char* call;
    bool (*failed)();
  };
  const Case cases[] = {
      {"_lcreat", [] { return _lcreat("C:\\WINDOWS\\gone", 0) == HFILE_ERROR; }},
      {"_lopen", [] { return _lopen("C:\\WINDOWS\\FILE.LNK", OF_READWRITE) == HFILE_ERROR; }},
      {"fopen", [] { return fopen("C:\\WINDOWS\\GONE", "wb") == nullptr; }},
      {"CreateFileA", [] {
         return CreateFileA("C:\\WINDOWS\\GONE", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr) ==
                INVALID_HANDLE_VALUE;
       }},
      {"CreateFileA below", [] {
         return CreateFileA("C:\\WINDOWS\\DIR\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr) ==
                INVALID_HANDLE_VALUE;
       }},
      {"CreateDirectoryA", [] { return !CreateDirectoryA("C:\\WINDOWS\\GONE", nullptr); }},
      {"CreateDirectoryA below", [] { return !CreateDirectoryA("C:\\WINDOWS\\DIR\\SUB", nullptr); }},
      {"DeleteFileA", [] { return !DeleteFileA("C:\\WINDOWS\\FILE.LNK"); }},
      {"DeleteFileA below", [] { return !DeleteFileA("C:\\WINDOWS\\DIR\\victim.txt"); }},
      {"GetFileAttributesA", [] { return GetFileAttributesA("C:\\WINDOWS\\DIR") == INVALID_FILE_ATTRIBUTES; }},
      {"GetShortPathNameA", [] { return GetShortPathNameA("C:\\WINDOWS\\DIR\\victim.txt", nullptr, 0) == 0; }},
      {"WritePrivateProfileStringA", [] {
         return !WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "X", "C:\\WINDOWS\\FILE.LNK");
       }},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_TRUE(c.failed()) << c.call;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << c.call;
  }
  struct _stat st;
  EXPECT_NE(_stat("C:\\WINDOWS\\DIR\\victim.txt", &st), 0);
  EXPECT_EQ(fopen("C:\\WINDOWS\\FILE.LNK", "rb"), nullptr);
  EXPECT_EQ(GetShortPathNameA("C:\\WINDOWS\\FILE.LNK", shortPath, MAX_PATH), 0u);
  // The profile line tells its failure as it tells any other; the other
  // calls that fail are not told.
  EXPECT_EQ(Lines(), std::vector<std::string>{
                         "profile C:\\WINDOWS\\FILE.LNK [boot] SCRNSAVE.EXE = \"X\" (failed: the file cannot be "
                         "written)"});
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(outside.path())) names.push_back(item.path().string());
  EXPECT_EQ(names, std::vector<std::string>{victim});
  EXPECT_EQ(testsupport::FileText(victim), "precious");
  for (const char* link : {"FILE.LNK", "DIR", "GONE"})
    EXPECT_TRUE(std::filesystem::is_symlink(windows + link)) << link;
}

// Creating and setting are pinned by the installer's Sky::Registration, the
// file's text by RegistryText; here: reading in another case, deleting.
TEST_F(MachineTest, TheRegistryFileKeepsWhatWasWrittenByteForByte) {
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  HKEY key;
  DWORD disposition = 0;
  char emptyClass[] = "";
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (uninstall + "\\My \"Saver\"").c_str(), 0, emptyClass,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const char name[] = "My \"Saver\" Screen Saver";
  RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
  RegSetValueExA(key, "NoTerminator", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\X"), 4);
  RegCloseKey(key);

  const char* otherCase = "software\\microsoft\\windows\\currentversion\\uninstall\\MY \"SAVER\"";
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, otherCase, 0, KEY_READ, &key), ERROR_SUCCESS);
  char data[64] = {};
  DWORD size = sizeof data, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "displayname", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(data, name);
  EXPECT_EQ(size, sizeof name);
  DWORD raw = 0;
  RegQueryValueExA(key, "NoTerminator", nullptr, nullptr, nullptr, &raw);
  EXPECT_EQ(raw, 4u);  // stored as given, without a terminator
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstall.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  // A key with subkeys stays; a leaf goes; then it is gone.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(key, "my \"saver\""), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key, "My \"Saver\""), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Lines().back(), "registry delete HKEY_LOCAL_MACHINE\\" + uninstall + "\\My \"Saver\"");
  EXPECT_EQ(testsupport::FileText(folder_ + "/registry.reg").find("Saver"), std::string::npos);
}

TEST(RegistryText, RoundTripKeepsEveryKindOfValue) {
  const std::string text =
      "REGEDIT4\r\n\r\n"
      "[HKEY_CURRENT_USER]\r\n\r\n"
      "[HKEY_CURRENT_USER\\Empty]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
      "@=\"default\"\r\n"
      "\"Quote\"=\"say \\\"hi\\\" \\\\ there\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Raw\"=hex:01,02,ff\r\n"
      "\"Short\"=hex(1):43,3a\r\n"
      "\"Multi\"=hex(7):41,00,00\r\n\r\n";
  hostwin::RegistryTree tree = hostwin::ParseRegistryText(text);
  ASSERT_EQ(tree.size(), 5u);
  const hostwin::RegistryKey& a = tree.at("HKEY_LOCAL_MACHINE\\SOFTWARE\\A");
  ASSERT_EQ(a.values.size(), 6u);
  EXPECT_EQ(std::string(a.values[1].data.begin(), a.values[1].data.end()),
            std::string("say \"hi\" \\ there", 17));
  EXPECT_EQ(hostwin::DescribeRegistryData(a.values[2].type, a.values[2].data), "REG_DWORD 0x0000002a");
  EXPECT_EQ(a.values[4].type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(a.values[4].data.size(), 2u);
  EXPECT_EQ(hostwin::RegistryText(tree), text);
  // Long hex data may go on over lines ended by a backslash; a key brings
  // its parents.
  tree = hostwin::ParseRegistryText("REGEDIT4\r\n[HKEY_USERS\\X\\Y]\r\n\"B\"=hex:01,\\\r\n  02\r\n");
  EXPECT_EQ(tree.at("HKEY_USERS\\X\\Y").values.at(0).data, (std::vector<unsigned char>{1, 2}));
  EXPECT_EQ(tree.at("HKEY_USERS\\X").path, "HKEY_USERS\\X");
  EXPECT_EQ(tree.count("HKEY_USERS"), 1u);
}

TEST_F(MachineTest, SnapshotsTellWhatChanged) {
  MakeFile("C:\\WINDOWS\\KEEP.TXT", "same");
  MakeFile("C:\\WINDOWS\\GONE.TXT", "bye");
  MakeFile("C:\\WINDOWS\\EDIT.TXT", "old");
  std::string big(200000, 'b');  // hashed in blocks: its last byte counts too
  MakeFile("C:\\WINDOWS\\BIG.BIN", big);
  const hostwin::MachineSnapshot before = hostwin::TakeSnapshot(folder_);
  DeleteFileA("C:\\WINDOWS\\GONE.TXT");
  MakeFile("C:\\WINDOWS\\EDIT.TXT", "new");  // same size, other bytes
  big.back() = 'c';
  MakeFile("C:\\WINDOWS\\BIG.BIN", big);
  CreateDirectoryA("C:\\WINDOWS\\NEW", nullptr);
  MakeFile("C:\\WINDOWS\\Long Name.scr");
  WritePrivateProfileStringA("boot", "shell", "other.exe", "system.ini");
  // Activating a screen saver: a key changed and a system.ini key added.
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
  WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "C:\\WINDOWS\\LONGNA~1.SCR", "system.ini");
  EXPECT_EQ(WinExec("C:\\WINDOWS\\NONE.SCR", SW_SHOW), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
  const std::vector<std::string> expected = {
      "file changed C:\\WINDOWS\\BIG.BIN 200000 bytes", "file changed C:\\WINDOWS\\EDIT.TXT 3 bytes",
      "file removed C:\\WINDOWS\\GONE.TXT", "file added C:\\WINDOWS\\Long Name.scr 1 bytes",
      "file changed C:\\WINDOWS\\system.ini 63 bytes", "directory added C:\\WINDOWS\\NEW",
      "registry changed HKEY_USERS\\Owner\\Control Panel\\Desktop \"ScreenSaveActive\" = REG_SZ \"1\"",
      "system.ini changed [boot] shell = other.exe",
      "system.ini added [boot] SCRNSAVE.EXE = C:\\WINDOWS\\LONGNA~1.SCR"};
  EXPECT_EQ(hostwin::FormatChanges(hostwin::CompareSnapshots(before, hostwin::TakeSnapshot(folder_))), expected);
  // This process keeps its registry from one machine to the next: leave it as found.
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE);
}

// Names and values with line breaks and escape sequences, as a hostile
// title brings them: the registry file keeps them inside their own key and
// value, system.ini refuses them, and the transcript and the list of changes
// stay printable ASCII, one line per event.
TEST_F(MachineTest, NoNameOrValueBreaksTheMachinesFilesOrTheTranscript) {
  const hostwin::MachineSnapshot before = hostwin::TakeSnapshot(folder_);
  const std::string injected = "Evil\r\n[HKEY_CURRENT_USER\\Injected]\r\n\"X\"=\"y\"\x1B]0;\x07\x9B";
  const std::string keyName = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + injected;
  HKEY key = nullptr;
  DWORD disposition = 0;
  char keyClass[] = "";
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, keyClass, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  const std::string data = "line\r\nbreak\x1B";
  ASSERT_EQ(RegSetValueExA(key, injected.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_FALSE(WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", "x\r\n[other]\r\nk=v", "system.ini"));
  EXPECT_FALSE(WritePrivateProfileStringA("boot]x", "k", "v", "system.ini"));
  EXPECT_FALSE(WritePrivateProfileStringA("boot", "k=v", "v", "system.ini"));

  const hostwin::RegistryTree read = hostwin::ParseRegistryText(testsupport::FileText(folder_ + "/registry.reg"));
  EXPECT_EQ(read.count("HKEY_CURRENT_USER\\INJECTED"), 0u);
  const std::string path = "HKEY_LOCAL_MACHINE\\" + keyName;
  ASSERT_EQ(read.count(hostwin::UpperCase(path)), 1u);
  const hostwin::RegistryKey& evil = read.at(hostwin::UpperCase(path));
  ASSERT_EQ(evil.values.size(), 1u);
  EXPECT_EQ(evil.values[0].name, injected);
  EXPECT_EQ(std::string(evil.values[0].data.begin(), evil.values[0].data.end() - 1), data);
  EXPECT_EQ(ReadHost("C:\\WINDOWS\\system.ini").find("other"), std::string::npos);

  std::vector<std::string> lines = Lines();
  const auto changes = hostwin::FormatChanges(hostwin::CompareSnapshots(before, hostwin::TakeSnapshot(folder_)));
  lines.insert(lines.end(), changes.begin(), changes.end());
  EXPECT_EQ(changes.size(), 3u);  // two keys (the name holds a backslash) and one value
  for (const std::string& line : lines)
    for (unsigned char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;
  // This process keeps its registry from one machine to the next: leave it as found.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName.substr(0, keyName.rfind('\\')).c_str()), ERROR_SUCCESS);
}

// Control and high bytes are escaped; a box's style flags are named in a
// fixed order (the installer's own styles are pinned by its transcripts).
TEST(TranscriptText, EscapesBytesAndNamesStyles) {
  EXPECT_EQ(hostwin::TranscriptText("a\r\n\t\x01\x1f caf\xe9\x7f C:\\X \"q\""),
            "a\\r\\n\\t\\x01\\x1F caf\\xE9\\x7F C:\\X \"q\"");
  EXPECT_EQ(hostwin::MessageBoxStyleName(MB_TOPMOST | MB_DEFBUTTON2 | MB_YESNOCANCEL),
            "MB_YESNOCANCEL|MB_DEFBUTTON2|MB_TOPMOST");
  EXPECT_EQ(hostwin::MessageBoxStyleName(MB_RETRYCANCEL | 0x00100000), "MB_RETRYCANCEL|0x100000");
}

TEST(IniText, EditsKeepOtherLines) {
  auto ini = hostwin::IniText::Parse("; comment\r\n[a]\r\nx = 1\r\n\r\n[b]\r\ny=\"quoted\"\r\n");
  EXPECT_EQ(ini.Get("A", "X"), "1");
  EXPECT_EQ(ini.Get("b", "y"), "quoted");
  EXPECT_EQ(ini.Get("b", "x"), std::nullopt);
  ini.Set("a", "z", "2");
  ini.DeleteSection("b");
  EXPECT_EQ(ini.Text(), "; comment\r\n[a]\r\nx = 1\r\nz=2\r\n\r\n");
}

}  // namespace
