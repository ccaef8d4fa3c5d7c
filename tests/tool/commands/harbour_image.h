// The image most command tests read: a licence, a compressed screen saver
// and data file, a stored uninstaller, a .WAV and a .MID. The .MID is one
// 30-byte match at the farthest offset: it copies the ring's tail, which
// holds the data file's first 30 bytes only when the entries before it were
// decoded first.
#pragma once

#include <string>

#include "core/imagewriter/manifest_writer.h"
#include "installer_fixture.h"

namespace harbour {

const std::string kData = "0123456789abcdefghijklmnopqrst and the rest of the data file";
// More than one 64 KiB block of the entry reader.
const std::string kSaver = installertest::SampleBytes(70000);

inline imagewriter::ManifestContents Harbour(const std::string& data = kData) {
  using namespace installertest;
  imagewriter::ManifestContents contents;
  contents.title = "Harbour";
  contents.license = "Free to share.\r\n";
  contents.numberBase = 23;
  contents.entries = {Compressed(kSaver), Compressed(data), Stored("uninstaller"),
                      Media(".WAV", SampleBytes(900, 'w')), RingTailEntry()};
  return contents;
}

}  // namespace harbour
