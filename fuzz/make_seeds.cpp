// Writes the seed corpora of the fuzz targets with the project's own encoder
// and image writer: fuzz_seeds FOLDER writes FOLDER/<target>/<name>. Run it
// again after a change of the formats and commit what changes in fuzz/corpus.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "core/imagewriter/manifest_writer.h"
#include "core/format/pe_header_fields.h"
#include "core/imagewriter/version_info_writer.h"
#include "installer_fixture.h"

using codec::CompressEntry;
using installertest::Compressed;
using installertest::Media;
using installertest::SampleBytes;
using installertest::Stored;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Bytes of an executable-like shape: runs of zeros, small numbers, text.
Bytes ExecutableLike(std::size_t size) {
  Bytes bytes(size);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    const unsigned pick = (state >> 16) % 8;
    bytes[i] = pick < 3 ? 0 : pick < 5 ? static_cast<std::uint8_t>(i & 0x1F)
                                       : static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

// Decoder input: expanded size (u32 little-endian), the stored-size cut, the stream.
Bytes DecoderInput(std::uint32_t expanded, const Bytes& stream, std::uint8_t cut = 0) {
  Bytes input = {static_cast<std::uint8_t>(expanded), static_cast<std::uint8_t>(expanded >> 8),
                 static_cast<std::uint8_t>(expanded >> 16), static_cast<std::uint8_t>(expanded >> 24), cut};
  input.insert(input.end(), stream.begin(), stream.end());
  return input;
}

imagewriter::ManifestContents SmallImage(const std::string& title) {
  imagewriter::ManifestContents contents;
  contents.title = title;
  contents.numberBase = 23;
  contents.entries = {Stored(SampleBytes(300, 's')), Compressed(SampleBytes(500, 'd')), Stored(SampleBytes(70, 'u'))};
  return contents;
}

void Write(const fs::path& folder, const std::string& target, const std::string& name, const Bytes& bytes) {
  fs::create_directories(folder / target);
  std::ofstream(folder / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
    return 2;
  }
  const fs::path folder = argv[1];

  const Bytes text = BytesOf(SampleBytes(700, 'a'));
  const Bytes executable = ExecutableLike(2000);
  const Bytes textStream = CompressEntry(text.data(), text.size());
  const Bytes executableStream = CompressEntry(executable.data(), executable.size());
  Write(folder, "decoder", "text", DecoderInput(700, textStream));
  Write(folder, "decoder", "executable", DecoderInput(2000, executableStream));
  Write(folder, "decoder", "executable-start",
        DecoderInput(14, {0x15, 0x22, 0x58, 0xE4, 0x72, 0xF8, 0x37, 0x6F, 0xE6, 0x64, 0x00, 0xF1, 0xF6, 0xB5}));
  Write(folder, "decoder", "cut-short", DecoderInput(700, textStream, 40));
  Write(folder, "decoder", "six-bytes-declaring-2-gib", DecoderInput(0x7FFFFF00u, Bytes(textStream.begin(), textStream.begin() + 6)));
  Write(folder, "decoder", "size-of-2-gib", DecoderInput(0x80000000u, textStream));

  // Encoder input: the level (0 greedy, 1 lazy, 2 best), then the data.
  auto withLevel = [](std::uint8_t level, Bytes data) {
    data.insert(data.begin(), level);
    return data;
  };
  Write(folder, "encoder_round_trip", "text-greedy", withLevel(0, text));
  Write(folder, "encoder_round_trip", "executable-lazy", withLevel(1, executable));
  Write(folder, "encoder_round_trip", "executable-best", withLevel(2, executable));
  Write(folder, "encoder_round_trip", "one-byte-repeated-best", withLevel(2, Bytes(400, 'z')));
  // A repeat exactly 4096 bytes back: the ring position about to be overwritten.
  const Bytes block = ExecutableLike(4096);
  Bytes period = block;
  period.insert(period.end(), block.begin(), block.begin() + 300);
  Write(folder, "encoder_round_trip", "ring-wrap-best", withLevel(2, period));

  Write(folder, "uninstall_plan", "own-files",
        BytesOf(std::string(1, '\0') + "Sky\nC:\\WINDOWS\\Sky.scr\r\n"
                "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT\r\n"
                "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE\r\n"
                "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\JUKE0023.MID\r\n"));
  Write(folder, "uninstall_plan", "other-places",
        BytesOf(std::string(1, '\1') + "Deep Sea\nC:\\Deep Sea.scr\n"
                "C:\\MARLOWEN\\VELDRAKE\\Deep Sea\\..\\Other\\x.dat\r"
                "c:/marloWEN/veldrake/deep sea/./a.mid\r\n"
                "C:\\MARLOWEN\\VELDRAKE\\Deep Sea\\CON\r\n"
                "\\\\server\\share\\x\r\nC:\\WINDOWS\\win.ini\r\n"
                "C:\\MARLOWEN\\VELDRAKE\\Deep Sea\\a.mid.\r\n"));

  Write(folder, "installation", "three-entries", imagewriter::BuildInstallerImage(SmallImage("Sky")));
  imagewriter::ManifestContents full = SmallImage("Deep Sea");
  full.license = "Share it freely.\r\n";
  full.entries.push_back(Media(".MID", "MThd"));
  full.entries.push_back(Media(".XYZ", "MThd", '_'));
  Write(folder, "installation", "licence-and-media", imagewriter::BuildInstallerImage(full));
  imagewriter::ManifestContents bomb = SmallImage("Sky");
  bomb.entries[1].stored.resize(6);
  bomb.entries[1].expandedSize = 0x7FFFFF00u;
  Write(folder, "installation", "six-bytes-declaring-2-gib", imagewriter::BuildInstallerImage(bomb));
  Write(folder, "installation", "title-with-trailing-dot", imagewriter::BuildInstallerImage(SmallImage("Evil.")));

  // The image readers and the tool's commands start from the same images,
  // and from a few damaged ones.
  imagewriter::ManifestContents overlapping = SmallImage("Harbour");
  overlapping.entries[0].storedSize = 370;  // its own bytes and the next entry's
  imagewriter::ManifestContents pastTheEnd = SmallImage("Harbour");
  pastTheEnd.entries[2].dataOffset = 0xFFFFFFF0u;
  for (const char* target : {"image_walk", "tool_commands", "library"}) {
    Write(folder, target, "three-entries", imagewriter::BuildInstallerImage(SmallImage("Sky")));
    Write(folder, target, "licence-and-media", imagewriter::BuildInstallerImage(full));
    Write(folder, target, "six-bytes-declaring-2-gib", imagewriter::BuildInstallerImage(bomb));
    Write(folder, target, "overlapping-entries", imagewriter::BuildInstallerImage(overlapping));
    Write(folder, target, "offset-past-the-end", imagewriter::BuildInstallerImage(pastTheEnd));
    Write(folder, target, "unsafe-title", imagewriter::BuildInstallerImage(SmallImage("..")));
  }
  // Signed as signers lay it out: one 16-byte WIN_CERTIFICATE on an 8-byte
  // boundary behind the image, named by data directory 4.
  Bytes signedImage = imagewriter::BuildInstallerImage(SmallImage("Sky"));
  format::PeHeaderFields fields;
  if (!format::FindPeHeaderFields(signedImage, &fields)) return 1;
  signedImage.resize((signedImage.size() + 7) / 8 * 8, 0);
  const auto tableAt = static_cast<std::uint32_t>(signedImage.size());
  Bytes certificate(16, 7);
  format::WriteLe32(certificate.data(), 16);
  certificate[4] = 0x00, certificate[5] = 0x02, certificate[6] = 0x02, certificate[7] = 0x00;  // revision 2.0, PKCS
  signedImage.insert(signedImage.end(), certificate.begin(), certificate.end());
  format::WriteLe32(&signedImage[fields.securityDirectory], tableAt);
  format::WriteLe32(&signedImage[fields.securityDirectory + 4], 16);
  for (const char* target : {"image_walk", "tool_commands", "library"}) Write(folder, target, "signed", signedImage);

  // 200 entries on one stream of 24,000 zeros: 4.8 MB for an image of 8 KB,
  // past the work budget of test and extract (24 bytes per byte plus 4 MiB),
  // which stops them rather than decode the stream 200 times.
  imagewriter::ManifestContents sharing = SmallImage("Harbour");
  const std::string zeros(24000, '\0');
  sharing.entries.assign(200, Compressed(zeros));
  for (imagewriter::EntryContents& entry : sharing.entries) {
    entry.name = ".MID";
    entry.kind = 0;
    entry.storedSize = static_cast<std::uint32_t>(entry.stored.size());
    entry.stored.clear();  // all of them at the one offset behind the table
  }
  sharing.entries.back().stored = Compressed(zeros).stored;
  for (const char* target : {"tool_commands", "library"})
    Write(folder, target, "entries-sharing-one-stream", imagewriter::BuildInstallerImage(sharing));

  // VERSIONINFO blocks as pack writes them: every key, the title's two
  // alone, and values of the longest length with Windows-1252 letters.
  imagewriter::VersionInfoContents every;
  const char* texts[] = {"Example Ltd", "Night Sky Setup", "1.2.3", "(c) 2024 Example", "Night Sky", "1.2.3",
                         "https://example.com/"};
  for (unsigned field = 0; field < format::kVersionFieldCount; ++field) every.text[field] = texts[field];
  for (unsigned i = 0; i < 3; ++i) every.fileVersion[i] = every.productVersion[i] = static_cast<std::uint16_t>(i + 1);
  Write(folder, "version_info", "every-key", imagewriter::BuildVersionInfo(every));
  imagewriter::VersionInfoContents titleOnly;
  titleOnly.text[format::kProductName] = "Sky";
  titleOnly.text[format::kFileDescription] = "Sky Setup";
  Write(folder, "version_info", "title-only", imagewriter::BuildVersionInfo(titleOnly));
  imagewriter::VersionInfoContents longest;
  longest.text[format::kCompanyName] = std::string(259, '\xE9');
  longest.text[format::kUrl] = "https://example.com/" + std::string(239, 'u');
  Write(folder, "version_info", "longest-values", imagewriter::BuildVersionInfo(longest));
  return 0;
}
