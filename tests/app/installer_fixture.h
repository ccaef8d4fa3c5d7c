// Whole installations in the Win32 stand-in: installer images built with
// the project's own image writer and encoder, a simulated machine in a
// temporary folder, and the installer's own WinMain run over it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "hostwin/runner.h"
#include "pack/manifest_writer.h"
#include "temp_files.h"

namespace installertest {

// Entries of an image.
pack::ManifestEntrySpec Stored(const std::string& bytes);
pack::ManifestEntrySpec Compressed(const std::string& bytes);
pack::ManifestEntrySpec Media(const std::string& name, const std::string& bytes,
                              std::uint8_t kind = 0);

// `size` bytes of text that compresses (a repeated sentence).
std::string SampleBytes(std::size_t size, char seed = 'a');

// The smallest complete image: the screen saver (stored), its data file
// (compressed) and the uninstaller (stored); no licence, no media.
pack::ManifestSpec ThreeEntryImage(const std::string& title);

class Machine {
 public:
  explicit Machine(const hostwin::MachineSettings& settings = {});

  // Runs the installer of `manifest` with `answers`: the transcript (exit
  // line included), the exit code and what changed on the machine.
  hostwin::RunResult Install(const pack::ManifestSpec& manifest,
                             const std::vector<std::string>& answers);
  // The same for an image given as bytes.
  hostwin::RunResult InstallImage(const std::vector<std::uint8_t>& image,
                                  const std::vector<std::string>& answers);

  // The contents of a file of the machine, by its Windows path; empty when
  // it does not exist (see Exists).
  std::string Read(const std::string& windowsPath) const;
  bool Exists(const std::string& windowsPath) const;
  // Places a file or a directory on the machine (an installed screen saver,
  // or a directory where the installer means to write a file).
  void Put(const std::string& windowsPath, const std::string& bytes) const;
  void PutDirectory(const std::string& windowsPath) const;
  std::string Registry() const;

  const std::string& folder() const { return machine_; }

 private:
  testsupport::TempFolder temp_;
  std::string machine_;
};

// A transcript as one text, a line each, for whole-transcript comparison.
std::string Joined(const std::vector<std::string>& lines);

// The machine's changes as text, a line each (files, directories,
// registry, system.ini).
std::string ChangesOf(const hostwin::RunResult& result);

// Compares whole transcripts and shows the actual one as plain lines.
void ExpectTranscript(const hostwin::RunResult& result, const std::string& expected,
                      const std::string& what = "");

// The index of the first line that starts with `prefix` (the line count
// when there is none).
std::size_t LineIndex(const hostwin::RunResult& result, const std::string& prefix);

// The message that stands in for "Installation Complete!" when files were
// not written whole; `files` as the transcript shows them, each with \r\n.
std::string FailedFilesMessage(const std::string& caption, const std::string& files);

// Pieces of the transcripts of ThreeEntryImage("Sky") (3000 + 5000 + 700
// bytes) on the default machine (C:\WINDOWS, a 1024 x 768 screen).
extern const std::string kSkyConfirmation;  // the question, without the answer
extern const std::string kSkyProgress;      // the progress dialog opening and painting
extern const std::string kSkyDirectories;   // the three directory levels made
extern const std::string kSkyRegistration;  // the uninstall key and its values
// The same for an image of another install total (EstimatedSize, in KiB).
std::string SkyRegistration(std::uint32_t estimatedKibibytes);
extern const std::string kSkyFiles;         // the log opened, the three files written
extern const std::string kSkyActivation;    // system.ini and the screen saver switched on
extern const std::string kProgressEnd;      // the progress dialog ending
extern const std::string kSkyComplete;      // "Installation Complete!"
extern const std::string kInfoDialog;       // the information dialog, answered ok
extern const std::string kSkyStart;         // the screen saver started, exit 0

}  // namespace installertest
