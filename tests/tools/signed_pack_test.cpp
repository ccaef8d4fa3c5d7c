// saverkit pack --sign with a throwaway certificate made here (openssl),
// checked by osslsigncode and by reading and installing the signed image;
// and packs that come out byte for byte the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "../pack/stub_fixture.h"
#include "temp_files.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandOutput;
using testsupport::RunCommand;

class SignedPack : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunCommand({"osslsigncode", "--version"}).exitStatus != 0 ||
        RunCommand({"openssl", "version"}).exitStatus != 0)
      GTEST_SKIP() << "osslsigncode and openssl are needed (scripts/install-deps.sh installs them)";
    stub_ = folder_.Write("installer.exe", packtest::MakeStub());
    saver_ = folder_.Write("night.scr", packtest::TextLikeBytes(20000, 1));
    data_ = folder_.Write("night.dat", packtest::NoiseBytes(3000, 2));
    uninstaller_ = folder_.Write("UNINSTAL.EXE", packtest::TextLikeBytes(7000, 3));
    media_ = folder_.Write("melody.mid", packtest::TextLikeBytes(900, 4));
    password_ = folder_.Write("password.txt", std::string("correct horse\n"));
    key_ = folder_.path() + "/key.pem";
    cert_ = folder_.path() + "/cert.pem";
    pfx_ = folder_.path() + "/signer.pfx";
    const CommandOutput req = RunCommand({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                          "-subj", "/CN=Saverkit test signer", "-keyout", key_, "-out", cert_});
    ASSERT_EQ(req.exitStatus, 0) << req.err;
    const CommandOutput p12 = RunCommand({"openssl", "pkcs12", "-export", "-inkey", key_, "-in", cert_, "-out", pfx_,
                                          "-passout", "file:" + password_});
    ASSERT_EQ(p12.exitStatus, 0) << p12.err;
  }

  CommandOutput Pack(const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args = {SAVERKIT_TOOL, "pack", "-o", out, "--title", "Night Sky", "--saver", saver_,
                                     "--data", data_, "--uninstaller", uninstaller_, "--stub", stub_,
                                     "--media", media_};
    args.insert(args.end(), more.begin(), more.end());
    return RunCommand(args);
  }

  testsupport::TempFolder folder_;
  std::string stub_, saver_, data_, uninstaller_, media_, password_, key_, cert_, pfx_;
};

TEST_F(SignedPack, SignedImageVerifiesListsTestsAndInstalls) {
  const std::string out = folder_.path() + "/setup.exe";
  const std::string plain = folder_.path() + "/plain.exe";
  ASSERT_EQ(Pack(plain, {}).exitStatus, 0);
  const CommandOutput pack = Pack(out, {"--sign", pfx_, "--sign-password-file", password_, "--json"});
  ASSERT_EQ(pack.exitStatus, 0) << pack.err;

  const CommandOutput verify = RunCommand({"osslsigncode", "verify", "-CAfile", cert_, "-in", out});
  EXPECT_EQ(verify.exitStatus, 0) << verify.out << verify.err;
  EXPECT_NE(verify.out.find("Signature verification: ok"), std::string::npos) << verify.out;

  // The signature is appended; what the installer reads is where it was.
  const std::vector<std::uint8_t> unsignedBytes = testsupport::ReadFileBytes(plain);
  const std::vector<std::uint8_t> signedBytes = testsupport::ReadFileBytes(out);
  ASSERT_GT(signedBytes.size(), unsignedBytes.size());
  EXPECT_EQ(nlohmann::json::parse(pack.out)["image_size"], signedBytes.size());

  for (const char* command : {"list", "test"}) {
    const CommandOutput run = RunCommand({SAVERKIT_TOOL, command, out});
    EXPECT_EQ(run.exitStatus, 0) << command << ": " << run.err;
  }
  const CommandOutput preview = RunCommand({SAVERKIT_TOOL, "preview", out});
  EXPECT_EQ(preview.exitStatus, 0) << preview.err;
  EXPECT_NE(preview.out.find("file added C:\\WINDOWS\\Night Sky.scr 20000 bytes"), std::string::npos)
      << preview.out;
  EXPECT_NE(preview.out.find("JUKE0001.MID 900 bytes"), std::string::npos) << preview.out;
  EXPECT_EQ(preview.out.find("!!"), std::string::npos) << preview.out;
}

TEST_F(SignedPack, FailuresLeaveNothingBehind) {
  const std::string wrong = folder_.Write("wrong.txt", std::string("battery staple\n"));
  const std::string out = folder_.path() + "/setup.exe";
  const auto before = std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator());
  const CommandOutput pack = Pack(out, {"--sign", pfx_, "--sign-password-file", wrong});
  EXPECT_EQ(pack.exitStatus, 1);
  EXPECT_EQ(pack.err.rfind("saverkit: " + pfx_ + ": cannot sign the image: osslsigncode failed", 0), 0u) << pack.err;
  EXPECT_EQ(std::count(pack.err.begin(), pack.err.end(), '\n'), 1) << pack.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), before);

  // Even with --force, the image does not take the certificate's place.
  const std::vector<std::uint8_t> certificate = testsupport::ReadFileBytes(pfx_);
  const CommandOutput over = Pack(pfx_, {"--force", "--sign", pfx_, "--sign-password-file", password_});
  EXPECT_EQ(over.exitStatus, 2);
  EXPECT_NE(over.err.find("is one of the inputs"), std::string::npos) << over.err;
  EXPECT_EQ(testsupport::ReadFileBytes(pfx_), certificate);
}

TEST_F(SignedPack, SameInputsGiveTheSameBytes) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"unsigned", {}},
      {"unsigned, with a build time", {"--source-date-epoch", "1700000000"}},
      {"signed at a build time", {"--source-date-epoch", "1700000000", "--sign", pfx_, "--sign-password-file",
                                  password_}},
  };
  for (const Case& c : cases) {
    const std::string first = folder_.path() + "/first.exe";
    const std::string second = folder_.path() + "/second.exe";
    ASSERT_EQ(Pack(first, c.options).exitStatus, 0) << c.what;
    ASSERT_EQ(Pack(second, c.options).exitStatus, 0) << c.what;
    EXPECT_EQ(testsupport::ReadFileBytes(first), testsupport::ReadFileBytes(second)) << c.what;
    fs::remove(first);
    fs::remove(second);
  }
}

TEST_F(SignedPack, TheBuildTimeIsTheImageTimeStamp) {
  const std::string out = folder_.path() + "/setup.exe";
  ASSERT_EQ(Pack(out, {"--source-date-epoch", "1700000000"}).exitStatus, 0);
  const std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(out);
  const std::uint32_t pe = bytes[0x3C] | bytes[0x3D] << 8 | bytes[0x3E] << 16 | bytes[0x3F] << 24;
  const std::uint32_t stamp = bytes[pe + 8] | bytes[pe + 9] << 8 | bytes[pe + 10] << 16 | bytes[pe + 11] << 24;
  EXPECT_EQ(stamp, 1700000000u);

  const CommandOutput bad = Pack(folder_.path() + "/bad.exe", {"--source-date-epoch", "yesterday"});
  EXPECT_EQ(bad.exitStatus, 2);
  EXPECT_NE(bad.err.find("yesterday"), std::string::npos) << bad.err;
}

}  // namespace
