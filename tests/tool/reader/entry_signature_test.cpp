// The certificate check of a PE entry as its bytes go by in chunks, against
// what the same check says of the whole bytes: the collector keeps only the
// headers and the table, and must give the same answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/format/manifest_layout.h"
#include "core/format/pe_header_fields.h"
#include "core/imagewriter/manifest_writer.h"
#include "tool/reader/entry_signature.h"
#include "tool/reader/payload_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using reader::EntrySignatureState;

// A small PE program (an installer image will do).
Bytes Program() {
  imagewriter::ManifestContents contents;
  contents.title = "Sky";
  contents.license = "Free.";
  imagewriter::EntryContents entry;
  entry.stored = Bytes(3000, 0x41);
  entry.name = ".DAT";
  contents.entries = {entry};
  return imagewriter::BuildInstallerImage(contents);
}

// Appends two 16-byte WIN_CERTIFICATEs (the second of `type`) on an 8-byte
// boundary and points data directory 4 at them, or at `offset` when given.
Bytes Signed(Bytes pe, std::uint16_t type = 2, std::uint32_t offset = 0, std::size_t padTo = 0) {
  format::PeHeaderFields fields;
  EXPECT_TRUE(format::FindPeHeaderFields(pe, &fields));
  pe.resize(std::max((pe.size() + 7) / 8 * 8, padTo), 0);
  const auto at = static_cast<std::uint32_t>(pe.size());
  for (const std::uint16_t kind : {std::uint16_t{2}, type}) {
    Bytes certificate(16, 7);
    format::WriteLe32(certificate.data(), 16);
    certificate[4] = 0x00, certificate[5] = 0x02, certificate[6] = static_cast<std::uint8_t>(kind), certificate[7] = 0;
    pe.insert(pe.end(), certificate.begin(), certificate.end());
  }
  format::WriteLe32(&pe[fields.securityDirectory], offset ? offset : at);
  format::WriteLe32(&pe[fields.securityDirectory + 4], 32);
  return pe;
}

reader::EntrySignature Collected(const Bytes& bytes, std::size_t chunk) {
  reader::PeEntryCollector collector;
  const reader::ChunkSink sink = collector.Sink();
  for (std::size_t at = 0; at < bytes.size(); at += chunk) sink(bytes.data() + at, std::min(chunk, bytes.size() - at));
  return collector.Result();
}

TEST(PeEntryCollector, GivesTheWholeBytesAnswerWhateverTheChunks) {
  const Bytes program = Program();
  struct Case {
    const char* what;
    Bytes bytes;
    EntrySignatureState state;
  };
  const Case cases[] = {
      {"text", Bytes(5000, 'x'), EntrySignatureState::kNotPe},
      {"MZ alone", Bytes{'M', 'Z'}, EntrySignatureState::kNotPe},
      {"unsigned", program, EntrySignatureState::kUnsigned},
      {"signed", Signed(program), EntrySignatureState::kSigned},
      {"unknown certificate type", Signed(program, 9), EntrySignatureState::kDamaged},
      {"table among the headers", Signed(program, 2, 8), EntrySignatureState::kDamaged},
      {"table past the end", Signed(program, 2, static_cast<std::uint32_t>(program.size() + 4096)),
       EntrySignatureState::kDamaged},
  };
  for (const Case& c : cases) {
    const reader::CertificateTable whole = reader::ReadCertificateTable(c.bytes);
    // The last: a first chunk that ends inside the second certificate's
    // header, where the table ends the image.
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{100}, std::size_t{65536},
                                    std::max<std::size_t>(c.bytes.size(), 13) - 12}) {
      const reader::EntrySignature kept = Collected(c.bytes, chunk);
      EXPECT_EQ(kept.state, c.state) << c.what << ", chunks of " << chunk;
      EXPECT_EQ(kept.damage, c.state == EntrySignatureState::kDamaged ? whole.damage : std::string())
          << c.what << ", chunks of " << chunk;
    }
  }
}

// The bound is on what is kept, not on the program: only its headers and
// its table are.
TEST(PeEntryCollector, ChecksAProgramOfMoreThan64MiB) {
  const Bytes huge = Signed(Program(), 2, 0, reader::kMostCheckedEntryBytes + 8);
  EXPECT_EQ(Collected(huge, 65536).state, EntrySignatureState::kSigned);
}

}  // namespace
