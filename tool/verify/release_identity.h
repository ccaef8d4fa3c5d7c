// Whether a program is one of our releases: the installer program that an
// image carries (its SAVERKIT identity resource), and the UNINSTAL.EXE it
// installs (that identity and the digest of its bytes as built, whatever
// signature pack gave it since).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace verify {

// `identity` is PayloadImage::installerProgram, the SAVERKIT resource's text.
bool IsOurInstallerProgram(const std::string& identity);

// SHA-256 (64 upper-case hex digits) of a PE image as it was before it was
// signed: the optional header's CheckSum and the certificate table's data
// directory entry read as zero, and the certificate table left out. These
// are all that signing changes (osslsigncode appends the table to an image
// whose size is a multiple of 8, as a linker's is).
// Empty when `pe` is no PE image or its certificate table is damaged.
std::string ReleaseDigest(const std::vector<std::uint8_t>& pe);

struct UninstallerRelease {
  bool ours = false;
  std::string identity;  // its SAVERKIT text; empty when it has none
  std::string why;       // when not ours: why, in a few words
};

// Ours when its identity is this release's and its digest the one pinned
// for this release.
UninstallerRelease RecogniseUninstaller(const std::vector<std::uint8_t>& pe);

}  // namespace verify
