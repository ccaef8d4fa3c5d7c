// Writes the images the Python module's tests read, with the project's own
// image writer and encoder, into the folder named on the command line:
//   sound.exe      Windows-1252 title, licence and VERSIONINFO, our identity,
//                  a refused entry and an entry made of the ring's tail
//   sound/N.bin    the bytes entry N installs (for each entry written)
//   bomb.exe       entry 1 declares nearly 2 GiB from a few stored bytes
//   cut.exe        sound.exe cut inside its PE headers
//   text.txt       no PE image
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "core/imagewriter/version_info_writer.h"
#include "installer_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using installertest::Compressed;
using installertest::RingTailEntry;
using installertest::Stored;

void Write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_python_test_images FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder / "sound");

  const std::string data = "0123456789abcdefghijklmnopqrst and the rest of the data file";
  const std::string media = installertest::SampleBytes(5000, 'm');
  imagewriter::ManifestContents manifest;
  manifest.title = "Caf\xE9 Noir";
  manifest.license = "Free \x93to share\x94.";
  manifest.numberBase = 23;
  imagewriter::EntryContents refused = Compressed("ZYXWVUTSRQPONMLKJIHGFEDCBA9876 refused");
  refused.name = "\\..\\EVIL.MID";
  // One 30-byte match at the farthest offset: the tail entry 1 leaves in
  // the ring, so its bytes are right only when entry 1 was decoded first.
  imagewriter::EntryContents fromTail = RingTailEntry();
  imagewriter::EntryContents music = Compressed(media);
  music.name = ".WAV";
  manifest.entries = {Stored("saver"), Compressed(data), Stored("uninstaller"), refused, fromTail, music};

  imagewriter::VersionInfoContents version;
  imagewriter::ParseVersionNumbers("1.2.3", version.productVersion);
  imagewriter::ParseVersionNumbers("1.2.3", version.fileVersion);
  version.text[format::kCompanyName] = "Caf\xE9 Pictures";
  version.text[format::kProductVersion] = "1.2.3";
  const std::vector<imagewriter::ResourceItem> resources = {
      {imagewriter::ResourceKey::Number(16), imagewriter::ResourceKey::Number(1), 1033,
       imagewriter::BuildVersionInfo(version)},
      {imagewriter::ResourceKey::Number(10), imagewriter::ResourceKey::Named("SAVERKIT"), 1033,
       Of("Saverkit 0.1.0")}};
  const Bytes sound = imagewriter::BuildInstallerImage(manifest, resources);
  Write(folder / "sound.exe", sound);
  Write(folder / "sound" / "0.bin", Of("saver"));
  Write(folder / "sound" / "1.bin", Of(data));
  Write(folder / "sound" / "2.bin", Of("uninstaller"));
  Write(folder / "sound" / "4.bin", Of(data.substr(0, 30)));
  Write(folder / "sound" / "5.bin", Of(media));

  imagewriter::ManifestContents bomb = manifest;
  bomb.entries[1].expandedSize = 0x7FFFFF00;
  Write(folder / "bomb.exe", imagewriter::BuildInstallerImage(bomb));

  // Cut inside the PE headers: no manifest can be found.
  Write(folder / "cut.exe", Bytes(sound.begin(), sound.begin() + 300));
  Write(folder / "text.txt", Of("just some text\n"));
  return 0;
}
