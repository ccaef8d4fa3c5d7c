// saverkit pack --sign against a fake osslsigncode (a shell script first on
// PATH) that records its arguments and standard input, fails, or never
// ends: the time limit, SIGINT and SIGTERM during signing, and what the
// signer is handed of the password and certificate files. Each run must
// leave the folder as it was: no temporary file, the old output whole.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "run_saverkit.h"
#include "stub_fixture.h"
#include "temp_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::CommandOutput;

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
       ": cannot sign the uninstaller (" + in_.uninstaller + "): signing did not finish within 1 second (osslsigncode was stopped"},
      {kRecordingSigner, {}, 1, ": cannot sign the uninstaller (" + in_.uninstaller + "): osslsigncode failed: no such key"},
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
