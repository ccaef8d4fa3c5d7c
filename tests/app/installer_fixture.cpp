// Building installer images and running them in the stand-in.
#include "installer_fixture.h"

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

std::string ChangesOf(const hostwin::RunResult& result) {
  return Joined(hostwin::FormatChanges(result.changes));
}

}  // namespace installertest
