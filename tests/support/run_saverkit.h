// Runs the built saverkit program (SAVERKIT_TOOL, set by the test target)
// as a user would, and collects its output and exit status; checks of what
// it said and left behind; the inputs of a pack run.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stub_fixture.h"
#include "temp_files.h"

inline testsupport::CommandOutput Saverkit(std::vector<std::string> args) {
  args.insert(args.begin(), SAVERKIT_TOOL);
  return testsupport::RunCommand(args);
}

// The run ended with `status` and said why in one line on standard error,
// "saverkit: " first and `message` in it.
inline ::testing::AssertionResult FailedWith(const testsupport::CommandOutput& run, int status,
                                             const std::string& message) {
  const bool oneLine = std::count(run.err.begin(), run.err.end(), '\n') == 1 && run.err.back() == '\n';
  if (run.exitStatus == status && oneLine && run.err.rfind("saverkit: ", 0) == 0 &&
      run.err.find(message) != std::string::npos)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit status " << run.exitStatus << " (expected " << status
                                       << "), standard error:\n"
                                       << run.err << "expected one line with: " << message;
}

using testsupport::FileText;

// The sorted names of the files and folders directly in `folder`.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(folder))
    names.push_back(item.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every input of saverkit pack written to a fresh folder; `out` is a
// setup.exe beside them, not yet made.
struct PackInputs {
  testsupport::TempFolder folder;
  std::string stub = folder.Write("installer.exe", packtest::MakeStub());
  std::string saver = folder.Write("night.scr", packtest::TextLikeBytes(20000, 1));
  std::string data = folder.Write("night.dat", packtest::NoiseBytes(3000, 2));
  std::string uninstaller = folder.Write("UNINSTAL.EXE", packtest::TextLikeBytes(7000, 3));
  std::string mid = folder.Write("melody.mid", packtest::TextLikeBytes(900, 4));
  std::string wav = folder.Write("chime.wav", packtest::NoiseBytes(1500, 5));
  std::string license = folder.Write("licence.txt", std::string("Share it freely.\r\n"));
  std::string out = folder.path() + "/setup.exe";

  // pack with every input, then `more`; args[2] is the output.
  std::vector<std::string> Args(const std::vector<std::string>& more = {},
                                const std::string& title = "Night Sky") const {
    std::vector<std::string> args = {"pack", "-o", out, "--title", title, "--saver", saver, "--data", data,
                                     "--uninstaller", uninstaller, "--stub", stub,
                                     "--media", mid, "--media", wav};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
};
