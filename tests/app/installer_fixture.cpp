// Building installer images and running them in the stand-in.
#include "installer_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/installer_resources.h"
#include "app/main_window.h"
#include "compress/entry_encoder.h"

namespace installertest {

namespace {

std::vector<std::uint8_t> BytesOf(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

pack::ManifestEntrySpec Stored(const std::string& bytes) {
  pack::ManifestEntrySpec entry;
  entry.stored = BytesOf(bytes);
  entry.name = ".TMP";
  entry.kind = ' ';
  return entry;
}

pack::ManifestEntrySpec Compressed(const std::string& bytes) {
  pack::ManifestEntrySpec entry = Stored(bytes);
  const std::vector<std::uint8_t> data = BytesOf(bytes);
  entry.stored = CompressEntry(data.data(), data.size());
  entry.expandedSize = static_cast<std::uint32_t>(data.size());
  return entry;
}

pack::ManifestEntrySpec Media(const std::string& name, const std::string& bytes,
                              std::uint8_t kind) {
  pack::ManifestEntrySpec entry = Stored(bytes);
  entry.name = name;
  entry.kind = kind;
  return entry;
}

std::string SampleBytes(std::size_t size, char seed) {
  const std::string sentence =
      std::string("Stars drift over the ") + seed + " sky while the screen rests. ";
  std::string bytes;
  while (bytes.size() < size) bytes += sentence;
  bytes.resize(size);
  return bytes;
}

pack::ManifestSpec ThreeEntryImage(const std::string& title) {
  pack::ManifestSpec manifest;
  manifest.title = title;
  manifest.numberBase = 23;
  manifest.entries = {Stored(SampleBytes(3000, 's')), Compressed(SampleBytes(5000, 'd')),
                  Stored(SampleBytes(700, 'u'))};
  return manifest;
}

Machine::Machine(const hostwin::MachineSettings& settings)
    : machine_(temp_.path() + "/machine") {
  std::string error;
  if (!hostwin::CreateMachine(machine_, settings, &error))
    throw std::runtime_error("cannot create the machine: " + error);
}

hostwin::RunResult Machine::Install(const pack::ManifestSpec& manifest,
                                          const std::vector<std::string>& answers) {
  return InstallImage(pack::BuildInstallerImage(manifest), answers);
}

hostwin::RunResult Machine::InstallImage(const std::vector<std::uint8_t>& image,
                                               const std::vector<std::string>& answers) {
  hostwin::RunOptions run;
  run.machineFolder = machine_;
  run.imagePath = temp_.Write("installer.exe", image);
  run.answers = answers;
  run.resources = InstallerResources();
  return hostwin::RunProgram(run, WinMain);
}

std::string Machine::Read(const std::string& windowsPath) const {
  std::ifstream in(hostwin::HostPathInMachine(machine_, windowsPath), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool Machine::Exists(const std::string& windowsPath) const {
  std::error_code code;
  return std::filesystem::exists(hostwin::HostPathInMachine(machine_, windowsPath), code);
}

void Machine::Put(const std::string& windowsPath, const std::string& bytes) const {
  const std::filesystem::path path = hostwin::HostPathInMachine(machine_, windowsPath);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

void Machine::PutDirectory(const std::string& windowsPath) const {
  std::filesystem::create_directories(hostwin::HostPathInMachine(machine_, windowsPath));
}

std::string Machine::Registry() const {
  std::ifstream in(machine_ + "/registry.reg", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace installertest

namespace installertest {

void ExpectTranscript(const hostwin::RunResult& result, const std::string& expected,
                      const std::string& what) {
  const std::string actual = Joined(result.transcript);
  EXPECT_EQ(actual, expected) << what << "\nactual transcript:\n" << actual;
}

std::size_t LineIndex(const hostwin::RunResult& result, const std::string& prefix) {
  for (std::size_t i = 0; i < result.transcript.size(); ++i)
    if (result.transcript[i].rfind(prefix, 0) == 0) return i;
  return result.transcript.size();
}

std::string FailedFilesMessage(const std::string& caption, const std::string& files) {
  return "message box \"" + caption +
         "\" \"The following files could not be installed completely:\\r\\n\\r\\n" + files +
         "\\r\\nThe screen saver was not activated.  Please run the installation again.\" "
         "MB_OK|MB_ICONHAND -> ok = IDOK\n";
}

const std::string kSkyConfirmation =
    R"T(message box "Sky Screen Saver Installation" "This program will install Sky Screen Saver to C:\WINDOWS and will make it your default Screen Saver.  This installation will take 8,700 bytes." MB_OKCANCEL|MB_ICONINFORMATION)T";
const std::string kSkyProgress = R"T(cursor IDC_WAIT
dialog 103 open "" 287x128
dialog 103 text "Sky Screen Saver Installation"
dialog 103 item 1001 text "Sky Screen Saver"
dialog 103 move 369,320 287x128
dialog 103 paint "Installing" "Please Wait..." "Sky Screen Saver"
)T";
const std::string kSkyDirectories = R"T(directory create C:\WINDOWS\MARLOWEN
directory create C:\WINDOWS\MARLOWEN\VELDRAKE
directory create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky
)T";
std::string SkyRegistration(std::uint32_t estimatedKibibytes) {
  char size[16];
  std::snprintf(size, sizeof size, "0x%08x", static_cast<unsigned>(estimatedKibibytes));
  const std::string key =
      R"T(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky)T";
  return "registry create " + key + " = created\n" +
         "registry set " + key + R"T( "DisplayName" REG_SZ "Sky Screen Saver" 17 bytes)T" + "\n" +
         "registry set " + key +
         R"T( "UninstallString" REG_SZ "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE" 46 bytes)T" + "\n" +
         "registry set " + key + R"T( "DisplayIcon" REG_SZ "C:\WINDOWS\Sky.scr" 19 bytes)T" + "\n" +
         "registry set " + key + " \"EstimatedSize\" REG_DWORD " + size + "\n" +
         "registry set " + key + " \"NoModify\" REG_DWORD 0x00000001\n" +
         "registry set " + key + " \"NoRepair\" REG_DWORD 0x00000001\n";
}
// 8,700 bytes: 8.5 KiB, rounded up.
const std::string kSkyRegistration = SkyRegistration(9);
const std::string kSkyFiles = R"T(file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG
file create C:\WINDOWS\Sky.scr
file close C:\WINDOWS\Sky.scr 3000 bytes
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT 5000 bytes
)T" + kSkyRegistration + R"T(file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE 700 bytes
)T";
const std::string kSkyActivation = R"T(profile C:\WINDOWS\system.ini [boot] SCRNSAVE.EXE = "C:\WINDOWS\Sky.scr"
SystemParametersInfoA SPI_SETSCREENSAVEACTIVE 1 SPIF_UPDATEINIFILE = TRUE
)T";
const std::string kProgressEnd = "dialog 103 end 1\ncursor IDC_ARROW\n";
const std::string kSkyComplete =
    R"T(message box "Sky Screen Saver Installation" "Installation Complete!" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK
)T";
const std::string kInfoDialog = R"T(dialog 107 open "Saverkit Studio Info" 314x274
dialog 107 move 355,247 314x274
dialog 107 wait focus 1 -> ok = command 1
dialog 107 end 1
)T";
const std::string kSkyStart = "WinExec \"C:\\WINDOWS\\Sky.scr\" SW_SHOW = 33\nexit 0\n";

std::string ChangesOf(const hostwin::RunResult& result) {
  return Joined(hostwin::FormatChanges(result.changes));
}

}  // namespace installertest
