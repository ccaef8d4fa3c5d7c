// SHA-256 known answers (FIPS 180-4's examples), whole and fed in pieces of
// every awkward size, so that the streaming form's block joins are covered.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "tool/commands/sha256.h"

namespace {

struct KnownAnswer {
  std::string message;
  const char* digest;
};

TEST(Sha256, KnownAnswersWholeAndInPieces) {
  const KnownAnswer cases[] = {
      {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
      {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
  };
  for (const KnownAnswer& c : cases) {
    const std::vector<std::uint8_t> bytes(c.message.begin(), c.message.end());
    EXPECT_EQ(commands::Sha256Hex(bytes), c.digest) << c.message.size() << " bytes whole";
    for (std::size_t piece : {1u, 55u, 63u, 64u, 65u, 4097u}) {
      commands::Sha256 sha;
      for (std::size_t at = 0; at < bytes.size(); at += piece)
        sha.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
      std::string lower = c.digest;
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_EQ(sha.FinishHex(), lower) << c.message.size() << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
