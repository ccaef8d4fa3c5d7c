// saverkit pack --sign: with a throwaway certificate made here (openssl),
// checked by osslsigncode and by reading and installing the signed image,
// and packs that come out byte for byte the same; then against a fake
// osslsigncode (a shell script first on PATH) that records what it is
// handed, fails, or never ends: the time limit, SIGINT and SIGTERM during
// signing, the password and certificate files. A failed run leaves the
// folder as it was: no temporary file, the old output whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/format/manifest_layout.h"
#include "core/format/pe_header_fields.h"
#include "run_saverkit.h"
#include "stub_fixture.h"
#include "temp_files.h"

extern char** environ;

using format::FindPeHeaderFields;
using format::PeHeaderFields;
using format::ReadLe32;
using format::WriteLe32;

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
    // Only the first line is the password, whatever ends it.
    password_ = folder_.Write("password.txt", std::string("correct horse\r\nbattery staple\r\n"));
    const CommandOutput req = RunCommand({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                          "-subj", "/CN=Saverkit test signer", "-keyout", key_, "-out", cert_});
    ASSERT_EQ(req.exitStatus, 0) << req.err;
    const CommandOutput p12 = RunCommand({"openssl", "pkcs12", "-export", "-inkey", key_, "-in", cert_, "-out", pfx_,
                                          "-passout", "pass:correct horse"});
    ASSERT_EQ(p12.exitStatus, 0) << p12.err;
    // --sign signs the uninstaller inside too, which must be a PE program.
    folder_.Write("UNINSTAL.EXE", packtest::MakeProgram(3));
    ASSERT_EQ(Pack(plain_, {}).exitStatus, 0);
  }

  // `saver`, when given, in place of the fixture's.
  CommandOutput Pack(const std::string& out, const std::vector<std::string>& more, const std::string& saver = "") {
    std::vector<std::string> args = inputs_.Args(more);
    args[2] = out;
    if (!saver.empty()) *(std::find(args.begin(), args.end(), "--saver") + 1) = saver;
    return Saverkit(args);
  }

  PackInputs inputs_;
  const testsupport::TempFolder& folder_ = inputs_.folder;
  std::string password_, key_ = folder_.path() + "/key.pem", cert_ = folder_.path() + "/cert.pem",
                         pfx_ = folder_.path() + "/signer.pfx";
  const std::string plain_ = folder_.path() + "/plain.exe";  // packed unsigned

  // The file `name` that extract writes of `image`, somewhere under `into`.
  std::string Extracted(const std::string& image, const std::string& name, const std::string& into) {
    const CommandOutput run = Saverkit({"extract", image, "-d", into, "--force"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    for (const auto& item : fs::recursive_directory_iterator(into))
      if (item.path().filename() == name) return item.path().string();
    ADD_FAILURE() << name << " not extracted from " << image;
    return std::string();
  }
  bool Verifies(const std::string& program) {
    return RunCommand({"osslsigncode", "verify", "-CAfile", cert_, "-in", program}).exitStatus == 0;
  }
};

TEST_F(SignedPack, SignedImageVerifiesListsTestsAndInstalls) {
  const std::string out = folder_.path() + "/setup.exe";
  const CommandOutput pack = Pack(out, {"--sign", pfx_, "--sign-password-file", password_, "--json"});
  ASSERT_EQ(pack.exitStatus, 0) << pack.err;

  const CommandOutput verify = RunCommand({"osslsigncode", "verify", "-CAfile", cert_, "-in", out});
  EXPECT_EQ(verify.exitStatus, 0) << verify.out << verify.err;
  EXPECT_NE(verify.out.find("Signature verification: ok"), std::string::npos) << verify.out;

  // The signature is appended; what the installer reads is where it was.
  EXPECT_GT(fs::file_size(out), fs::file_size(plain_));
  EXPECT_EQ(nlohmann::json::parse(pack.out)["image_size"], fs::file_size(out));

  for (const char* command : {"list", "test"}) {
    const CommandOutput run = RunCommand({SAVERKIT_TOOL, command, out});
    EXPECT_EQ(run.exitStatus, 0) << command << ": " << run.err;
    EXPECT_EQ(run.out.find("note:"), std::string::npos) << run.out;
  }
  EXPECT_EQ(nlohmann::json::parse(Saverkit({"list", "--json", out}).out)["signed"], true);
  EXPECT_EQ(nlohmann::json::parse(Saverkit({"list", "--json", plain_}).out)["signed"], false);
  EXPECT_NE(Saverkit({"list", out}).out.find("Signature:        signed (certificate table at 0x"),
            std::string::npos);
  EXPECT_NE(Saverkit({"list", plain_}).out.find("Signature:        none"), std::string::npos);
  const CommandOutput preview = RunCommand({SAVERKIT_TOOL, "preview", out});
  EXPECT_EQ(preview.exitStatus, 0) << preview.err;
  for (const char* added : {"file added C:\\WINDOWS\\Night Sky.scr 20000 bytes", "JUKE0001.MID 900 bytes"})
    EXPECT_NE(preview.out.find(added), std::string::npos) << added << "\n" << preview.out;
  EXPECT_EQ(preview.out.find("!!"), std::string::npos) << preview.out;
}

// Points the image's certificate table entry at `offset`, `size` bytes.
void SetCertificateEntry(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint32_t size) {
  PeHeaderFields fields;
  ASSERT_TRUE(FindPeHeaderFields(bytes, &fields));
  WriteLe32(&bytes[fields.securityDirectory], offset);
  WriteLe32(&bytes[fields.securityDirectory + 4], size);
}

// One WIN_CERTIFICATE of 16 bytes: dwLength, wRevision, wCertificateType,
// eight bytes of certificate.
std::vector<std::uint8_t> Certificate(std::uint32_t length, std::uint16_t revision = 0x0200,
                                      std::uint16_t type = 2) {
  std::vector<std::uint8_t> bytes(16, 7);
  WriteLe32(bytes.data(), length);
  bytes[4] = revision & 0xFF, bytes[5] = revision >> 8, bytes[6] = type & 0xFF, bytes[7] = type >> 8;
  return bytes;
}

// Appends one sound 16-byte WIN_CERTIFICATE on an 8-byte boundary and
// points the directory entry at it; returns its offset.
std::uint32_t AppendCertificate(std::vector<std::uint8_t>& bytes) {
  bytes.resize((bytes.size() + 7) / 8 * 8, 0);
  const std::uint32_t at = static_cast<std::uint32_t>(bytes.size());
  const std::vector<std::uint8_t> certificate = Certificate(16);
  bytes.insert(bytes.end(), certificate.begin(), certificate.end());
  SetCertificateEntry(bytes, at, 16);
  return at;
}

TEST_F(SignedPack, TestNotesWhatTheSignatureDoesNotCover) {
  const std::string signedImage = folder_.path() + "/signed.exe";
  ASSERT_EQ(Pack(signedImage, {"--sign", pfx_, "--sign-password-file", password_}).exitStatus, 0);

  // Bytes appended after signing: outside the signature, yet the image installs.
  std::vector<std::uint8_t> appended = testsupport::ReadFileBytes(signedImage);
  appended.insert(appended.end(), 24, 0xEE);
  const CommandOutput tail = RunCommand({SAVERKIT_TOOL, "test", folder_.Write("appended.exe", appended)});
  EXPECT_EQ(tail.exitStatus, 0) << tail.err;
  EXPECT_NE(tail.out.find("note: 24 bytes of data after the signature, not covered by it"), std::string::npos)
      << tail.out;
  EXPECT_EQ(tail.out.find("does not cover the payload"), std::string::npos) << tail.out;

  // A certificate table in front of the last entry's data: that entry is
  // moved (copied whole) behind the table and its manifest entry follows it.
  std::vector<std::uint8_t> moved = testsupport::ReadFileBytes(plain_);
  const nlohmann::json listing = nlohmann::json::parse(Saverkit({"list", "--json", plain_}).out);
  const nlohmann::json& last = listing["entries"].back();
  const std::uint32_t dataOffset = last["data_offset"], storedSize = last["stored_size"];
  std::uint8_t key[8];
  WriteLe32(key, dataOffset);
  WriteLe32(key + 4, storedSize);
  const auto entryAt = std::search(moved.begin() + listing["manifest_offset"].get<std::uint32_t>(), moved.end(),
                                   key, key + sizeof key);
  ASSERT_NE(entryAt, moved.end());
  const std::uint32_t tableAt = AppendCertificate(moved);
  const std::vector<std::uint8_t> data(moved.begin() + dataOffset, moved.begin() + dataOffset + storedSize);
  WriteLe32(&*entryAt, static_cast<std::uint32_t>(moved.size()));
  moved.insert(moved.end(), data.begin(), data.end());
  const std::string movedImage = folder_.Write("moved.exe", moved);
  const CommandOutput uncovered = RunCommand({SAVERKIT_TOOL, "test", movedImage});
  EXPECT_EQ(uncovered.exitStatus, 0) << uncovered.out << uncovered.err;
  EXPECT_NE(uncovered.out.find("note: the signature does not cover the payload (certificate table at " +
                               std::to_string(tableAt) + ", payload ends at " + std::to_string(moved.size()) + ")"),
            std::string::npos)
      << uncovered.out;
  EXPECT_EQ(nlohmann::json::parse(RunCommand({SAVERKIT_TOOL, "list", "--json", movedImage}).out)["signed"], true);
}

TEST_F(SignedPack, HostileCertificateEntriesAreReportedAsDamage) {
  const std::vector<std::uint8_t> base = testsupport::ReadFileBytes(plain_);
  std::vector<std::uint8_t> two = Certificate(16), many;
  const std::vector<std::uint8_t> huge = Certificate(0x100000);  // 1 MiB claimed inside a 32-byte table
  two.insert(two.end(), huge.begin(), huge.end());
  for (int i = 0; i < 257; ++i) {
    const std::vector<std::uint8_t> small = Certificate(8);
    many.insert(many.end(), small.begin(), small.begin() + 8);
  }
  enum Where : std::uint32_t { kAppended = 1, kUnaligned = 2, kSectionTable = 3 };
  struct Case {
    const char* what;
    std::uint32_t offset, size;  // the directory entry, or a Where
    std::vector<std::uint8_t> table;
    const char* damage;
  };
  const Case cases[] = {
      {"past the end", kAppended, 40, Certificate(16), "certificate table runs past the end of the file"},
      {"wrapping round", 0xFFFFFFF8u, 0x10, Certificate(16), "certificate table runs past the end of the file"},
      {"huge size", kAppended, 0xFFFFFFFFu, Certificate(16), "certificate table runs past the end of the file"},
      {"too small", kAppended, 4, Certificate(16), "certificate table smaller than one certificate header"},
      {"over the optional header", 8, 64, Certificate(16), "certificate table lies inside the PE headers"},
      {"over the section headers", kSectionTable, 16, Certificate(16), "certificate table lies inside the PE headers"},
      {"not on 8 bytes", kUnaligned, 16, Certificate(16), "certificate table is not 8-byte aligned"},
      {"certificate longer than its table", kAppended, 16, Certificate(17), "certificate length does not fit its table"},
      {"certificate of length zero", kAppended, 16, Certificate(0), "certificate length does not fit its table"},
      {"second certificate past the table", kAppended, 32, two, "certificate length does not fit its table"},
      {"table ends inside a header", kAppended, 20, Certificate(16), "certificate length does not fit its table"},
      {"unknown revision", kAppended, 16, Certificate(16, 0x0300), "unknown certificate revision or type"},
      {"unknown type", kAppended, 16, Certificate(16, 0x0200, 9), "unknown certificate revision or type"},
      {"257 certificates", kAppended, 257 * 8, many, "more than 256 certificates"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = base;
    bytes.resize((bytes.size() + 7) / 8 * 8 + (c.offset == kUnaligned ? 4 : 0), 0);
    const std::uint32_t at = static_cast<std::uint32_t>(bytes.size());
    bytes.insert(bytes.end(), c.table.begin(), c.table.end());
    bytes.resize(bytes.size() + 8, 0);  // room for a table that claims a few bytes more
    PeHeaderFields fields;
    ASSERT_TRUE(FindPeHeaderFields(bytes, &fields));
    // The section table follows the 16 data directories; this entry is the 5th.
    const std::uint32_t sectionTable = fields.securityDirectory + (16 - 4) * 8;
    SetCertificateEntry(bytes, c.offset == kAppended || c.offset == kUnaligned ? at
                               : c.offset == kSectionTable                     ? sectionTable
                                                                               : c.offset,
                        c.size);
    const std::string image = folder_.Write("hostile.exe", bytes);
    const CommandOutput list = RunCommand({SAVERKIT_TOOL, "list", "--json", image});
    ASSERT_EQ(list.exitStatus, 0) << c.what << ": " << list.err;
    const nlohmann::json json = nlohmann::json::parse(list.out);
    EXPECT_EQ(json["signed"], false) << c.what;
    EXPECT_EQ(json.value("signature_damage", ""), c.damage) << c.what;
    const CommandOutput test = RunCommand({SAVERKIT_TOOL, "test", image});
    EXPECT_EQ(test.exitStatus, 1) << c.what;
    EXPECT_EQ(test.err, "saverkit: " + image + ": " + c.damage + "\n") << c.what;
  }
}

// --sign signs UNINSTAL.EXE inside, --sign-saver the screen saver, each
// before it is compressed; a saver signed already goes in as it is. The
// programs as the installer writes them verify, and list tells which carry
// a signature (null: no PE).
TEST_F(SignedPack, ProgramsInsideAreSignedOnceAndListedSo) {
  const std::string unsignedSaver = folder_.Write("saver.scr", packtest::MakeProgram(1));
  const std::vector<std::string> sign = {"--sign", pfx_, "--sign-password-file", password_};
  // The saver of the previous row, signed by pack, is the next row's input.
  std::string signedSaver;
  struct Case {
    const char* what;
    bool signSaver;
    const std::string* saver;  // null: the fixture's text .scr
    nlohmann::json saverSigned;
  };
  const Case cases[] = {
      {"--sign", false, nullptr, nullptr},
      {"--sign-saver", true, &unsignedSaver, true},
      {"--sign-saver, signed already", true, &signedSaver, true},
  };
  int row = 0;
  for (const Case& c : cases) {
    std::vector<std::string> options = sign;
    if (c.signSaver) options.push_back("--sign-saver");
    const std::string out = folder_.path() + "/signed" + std::to_string(row) + ".exe";
    const CommandOutput pack = Pack(out, options, c.saver ? *c.saver : "");
    ASSERT_EQ(pack.exitStatus, 0) << c.what << ": " << pack.err;
    const bool leftAsIs = c.saver == &signedSaver;
    EXPECT_EQ(pack.out.find(signedSaver + ": the screen saver is signed already; packed as it is\n") !=
                  std::string::npos,
              leftAsIs)
        << c.what << ": " << pack.out;
    const nlohmann::json entries = nlohmann::json::parse(Saverkit({"list", "--json", out}).out)["entries"];
    EXPECT_EQ(entries[0]["signed"], c.saverSigned) << c.what;
    EXPECT_EQ(entries[1]["signed"], nullptr) << c.what;
    EXPECT_EQ(entries[2]["signed"], true) << c.what;
    EXPECT_EQ(entries[2].value("signature_damage", ""), "") << c.what;
    const std::string into = folder_.path() + "/x" + std::to_string(row++);
    EXPECT_TRUE(Verifies(Extracted(out, "UNINSTAL.EXE", into))) << c.what;
    const std::string saver = Extracted(out, "Night Sky.scr", into);
    EXPECT_EQ(Verifies(saver), c.signSaver) << c.what;
    if (leftAsIs) {
      EXPECT_EQ(testsupport::ReadFileBytes(saver), testsupport::ReadFileBytes(signedSaver));
    }
    if (c.signSaver && !leftAsIs) signedSaver = folder_.Write("signed.scr", testsupport::ReadFileBytes(saver));
    const CommandOutput test = Saverkit({"test", out});
    EXPECT_EQ(test.exitStatus, 0) << c.what << ": " << test.out;
    EXPECT_NE(test.out.find("entry 2: compressed"), std::string::npos);
    EXPECT_NE(test.out.find(": ok, signed\n"), std::string::npos) << test.out;
  }
  // The unsigned plain pack lists its PE uninstaller as unsigned.
  EXPECT_EQ(nlohmann::json::parse(Saverkit({"list", "--json", plain_}).out)["entries"][2]["signed"], false);
  // What --sign cannot sign is refused, and the output is not made.
  EXPECT_TRUE(FailedWith(Pack(folder_.path() + "/no.exe", {"--sign", pfx_, "--sign-password-file", password_,
                                                           "--sign-saver"}),
                         2, inputs_.saver + ": the screen saver is not a PE program"));
  EXPECT_FALSE(fs::exists(folder_.path() + "/no.exe"));
}

// A program inside with a damaged certificate table (of an unknown type):
// test fails that entry, list shows why. (Each kind of damage to a table:
// HostileCertificateEntriesAreReportedAsDamage.)
TEST_F(SignedPack, ADamagedTableInsideFailsItsEntry) {
  std::vector<std::uint8_t> program = packtest::MakeProgram(5);
  program[AppendCertificate(program) + 6] = 9;
  const std::string out = folder_.path() + "/inner.exe";
  folder_.Write("UNINSTAL.EXE", program);
  ASSERT_EQ(Pack(out, {"--force"}).exitStatus, 0);
  const std::string damage = "unknown certificate revision or type";
  const CommandOutput test = Saverkit({"test", out});
  EXPECT_EQ(test.exitStatus, 1);
  // One line, of entry 2, says what is wrong.
  const std::size_t damaged = test.out.find("bytes: damaged: its certificate table: " + damage + "\n");
  ASSERT_NE(damaged, std::string::npos) << test.out;
  EXPECT_EQ(test.out.rfind("entry ", damaged), test.out.rfind("entry 2: ", damaged)) << test.out;
  const CommandOutput list = Saverkit({"list", "--json", out});
  EXPECT_EQ(list.exitStatus, 0) << list.err;  // shown, as the image's own table is
  const nlohmann::json entry = nlohmann::json::parse(list.out)["entries"][2];
  EXPECT_EQ(entry["signed"], false);
  EXPECT_EQ(entry["signature_damage"], damage);
  EXPECT_NE(Saverkit({"list", out}).out.find("compressed  damaged    MARLOWEN"), std::string::npos);
}

// Even with --force, the image does not take the certificate's place.
TEST_F(SignedPack, TheOutputNeverReplacesTheCertificate) {
  const std::vector<std::uint8_t> certificate = testsupport::ReadFileBytes(pfx_);
  const CommandOutput over = Pack(pfx_, {"--force", "--sign", pfx_, "--sign-password-file", password_});
  EXPECT_TRUE(FailedWith(over, 2, "is one of the inputs"));
  EXPECT_EQ(testsupport::ReadFileBytes(pfx_), certificate);
}

// Packs are reproducible; --source-date-epoch becomes the image's time
// stamp, and a value that is no time is refused.
TEST_F(SignedPack, SameInputsGiveTheSameBytesAndTheBuildTimeStamp) {
  const std::vector<std::string> at = {"--source-date-epoch", "1700000000"};
  const std::vector<std::string> signedAt = {"--source-date-epoch", "1700000000", "--sign", pfx_,
                                             "--sign-password-file", password_};
  for (const std::vector<std::string>& options : {std::vector<std::string>{}, at, signedAt}) {
    const std::string first = folder_.path() + "/first.exe";
    const std::string second = folder_.path() + "/second.exe";
    ASSERT_EQ(Pack(first, options).exitStatus, 0) << options.size();
    ASSERT_EQ(Pack(second, options).exitStatus, 0) << options.size();
    const std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(first);
    EXPECT_EQ(bytes, testsupport::ReadFileBytes(second)) << options.size();
    PeHeaderFields fields;
    ASSERT_TRUE(FindPeHeaderFields(bytes, &fields));
    if (!options.empty()) {
      EXPECT_EQ(ReadLe32(&bytes[fields.timeDateStamp]), 1700000000u);
    }
    fs::remove(first);
    fs::remove(second);
  }
  const CommandOutput bad = Pack(folder_.path() + "/bad.exe", {"--source-date-epoch", "yesterday"});
  EXPECT_TRUE(FailedWith(bad, 2, "yesterday"));
}


// Records argv (one a line) and standard input in the fake folder, says
// why on standard error and fails.
constexpr char kRecordingSigner[] =
    "printf '%s\\n' \"$@\" > \"$FAKE/argv\"\ncat > \"$FAKE/stdin\"\necho 'no such key' >&2\nexit 1\n";
// Leaves a sleeper in its process group, tells it started, and waits.
constexpr char kHangingSigner[] = "sleep 600 &\necho $! > \"$FAKE/sleeper\"\ntouch \"$FAKE/started\"\nwait\n";

class SignerLimits : public ::testing::Test {
 protected:
  // Installs `script` as the fake osslsigncode.
  void Fake(const char* script) {
    fs::create_directories(fake_);
    const std::string path = fake_ + "/osslsigncode";
    std::ofstream(path) << "#!/bin/sh\nFAKE='" << fake_ << "'\n" << script;
    fs::permissions(path, fs::perms::owner_all);
  }
  // pack with the fake signer first on PATH; the output exists already.
  std::vector<std::string> Command(const std::vector<std::string>& more) {
    std::vector<std::string> args = in_.Args(more);
    args.insert(args.begin(), {"env", "PATH=" + fake_ + ":" + std::getenv("PATH"), SAVERKIT_TOOL});
    args.push_back("--force");
    return args;
  }
  // The folder holds what it held, the old output unchanged, and nothing
  // of the signer lives on.
  void ExpectLeftAsItWas(const std::string& what) {
    EXPECT_EQ(NamesIn(in_.folder.path()), before_) << what;
    EXPECT_EQ(FileText(in_.out), "old image") << what;
    std::ifstream sleeper(fake_ + "/sleeper");
    pid_t pid = 0;
    if (!(sleeper >> pid)) return;
    // Killed with its group; it may take a moment to be gone (or a zombie).
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string pidText, name, state;
      gone = !(stat >> pidText >> name >> state) || state == "Z";
      if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(gone) << what << ": the signer's child " << pid << " still runs";
  }

  PackInputs in_;
  // --sign signs the uninstaller first: the fake signer meets it first.
  const std::string uninstaller_ = in_.folder.Write("UNINSTAL.EXE", packtest::MakeProgram(3));
  testsupport::TempFolder aside_;  // the fake signer and the large files
  const std::string fake_ = aside_.path() + "/fake";
  const std::string certificate_ = in_.folder.Write("signer.pfx", std::string(100, 'c'));
  const std::vector<std::string> before_ = [this] {
    in_.folder.Write("setup.exe", std::string("old image"));
    return NamesIn(in_.folder.path());
  }();
};

TEST_F(SignerLimits, ASignerThatHangsOrFailsLeavesTheOutputAsItWas) {
  struct Case {
    const char* script;
    std::vector<std::string> options;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {kHangingSigner, {"--sign-timeout", "1"}, 1,
       "saverkit: " + certificate_ + ": cannot sign the uninstaller (" + in_.uninstaller +
           "): signing did not finish within 1 second (osslsigncode was stopped"},
      {kRecordingSigner, {"--sign-timeout", "0"}, 2, "--sign-timeout"},
      {kRecordingSigner, {"--sign-timeout", "86401"}, 2, "--sign-timeout"},
  };
  for (const Case& c : cases) {
    fs::remove_all(fake_);
    Fake(c.script);
    std::vector<std::string> options = {"--sign", certificate_};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const CommandOutput run = testsupport::RunCommand(Command(options));
    EXPECT_TRUE(FailedWith(run, c.status, c.message)) << c.message;
    ExpectLeftAsItWas(c.message);
  }
}

TEST_F(SignerLimits, SigintOrSigtermWhileSigningRemovesEverythingAndEndsBySignal) {
  for (const int signal : {SIGTERM, SIGINT}) {
    fs::remove_all(fake_);
    Fake(kHangingSigner);
    const std::vector<std::string> command = Command({"--sign", certificate_});
    std::vector<char*> args;
    for (const std::string& arg : command) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t saverkit = 0;
    ASSERT_EQ(posix_spawnp(&saverkit, args[0], &actions, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 600 && !fs::exists(fake_ + "/started"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(fs::exists(fake_ + "/started")) << "the fake signer never ran";
    kill(saverkit, signal);
    int status = 0;
    ASSERT_EQ(waitpid(saverkit, &status, 0), saverkit);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": wait status " << status;
    ExpectLeftAsItWas("signal " + std::to_string(signal));
  }
}

// The password is the first line of its file, handed over on standard
// input and never on the command line; files too large are refused before
// the signer runs, whatever they are.
TEST_F(SignerLimits, WhatTheSignerIsHandedOfThePasswordAndCertificate) {
  Fake(kRecordingSigner);
  const std::string sparse = aside_.path() + "/sparse";
  struct Case {
    const char* what;
    std::string passwordFile;    // contents; empty: none given
    std::string passwordPath;    // else this file
    std::string certificate;     // empty: the small one
    bool refused;
    std::string stdinOrRefusal;  // what the signer reads, or the refusal
  };
  const std::string longLine(4096, 'p');
  const Case cases[] = {
      {"two lines", "correct horse\nbattery staple\n", "", "", false, "correct horse"},
      {"CR LF", "correct horse\r\n", "", "", false, "correct horse"},
      {"no newline", "correct horse", "", "", false, "correct horse"},
      {"CR only", "correct horse\rbattery\r", "", "", false, "correct horse"},
      {"4095 bytes", longLine.substr(1) + "\n", "", "", false, longLine.substr(1)},
      {"4096 bytes", longLine + "\n", "", "", true, "the password (the first line) is longer than 4095 bytes"},
      {"a sparse GiB", "", sparse + "-1G", "", true, "the password file is larger than 64 KiB"},
      {"64 KiB + 1", "", sparse + "-65537", "", true, "the password file is larger than 64 KiB"},
      {"endless", "", "/dev/zero", "", true, "the password file is larger than 64 KiB"},
      {"a folder", "", aside_.path(), "", true, "the password file is a directory"},
      {"certificate 16 MiB + 1", "", "", sparse + "-16777217", true, "the certificate is larger than 16 MiB"},
      {"endless certificate", "", "", "/dev/zero", true, "the certificate is larger than 16 MiB"},
  };
  for (const char* size : {"1G", "65537", "16777217"})
    ASSERT_EQ(testsupport::RunCommand({"truncate", "-s", size, sparse + "-" + size}).exitStatus, 0);
  for (const Case& c : cases) {
    std::string passwordFile = c.passwordPath;
    if (!c.passwordFile.empty()) passwordFile = aside_.Write("password.txt", c.passwordFile);
    const std::string certificate = c.certificate.empty() ? certificate_ : c.certificate;
    const CommandOutput run = testsupport::RunCommand(
        Command({"--sign", certificate, "--sign-password-file", passwordFile}));
    if (c.refused) {
      EXPECT_TRUE(FailedWith(run, 2, c.stdinOrRefusal)) << c.what;
      EXPECT_NE(run.err.find(c.certificate.empty() ? passwordFile : certificate), std::string::npos) << c.what;
      EXPECT_FALSE(fs::exists(fake_ + "/argv")) << c.what << ": the signer ran";
    } else {
      EXPECT_TRUE(FailedWith(run, 1, "osslsigncode failed: no such key")) << c.what;
      EXPECT_EQ(FileText(fake_ + "/stdin"), c.stdinOrRefusal) << c.what;
      const std::string argv = FileText(fake_ + "/argv");
      EXPECT_NE(argv.find("\n-readpass\n-\n"), std::string::npos) << c.what << ": " << argv;
      EXPECT_EQ(argv.find(c.stdinOrRefusal), std::string::npos) << c.what << ": " << argv;
      EXPECT_EQ(argv.find(passwordFile), std::string::npos) << c.what << ": " << argv;
    }
    fs::remove(fake_ + "/argv"), fs::remove(fake_ + "/stdin");
    ExpectLeftAsItWas(c.what);
  }
}

}  // namespace
