// The folder a command writes into, opened once: every file operation of
// the output names a file of that folder by its name alone, so that a
// folder swapped for a link (or renamed) after the command opened it
// changes nothing about where the files land. On POSIX systems the folder
// is a directory descriptor and each call is its *at() form, never
// following a link at the name; on Windows a handle held on the folder keeps
// it in place, and each call names the file by the folder's final path.
// One source file per platform: output_folder_posix.cpp, output_folder_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace commands {

class OutputFolder {
 public:
  // What stands at a name, seen without following a link (and, for a link,
  // whether it leads to a directory).
  enum class Kind { kAbsent, kRegular, kLink, kLinkToDirectory, kDirectory, kOther };

  // Opens the folder at `path` ("" is the current folder); false from
  // IsOpen() with errno kept in OpenError() when it cannot.
  explicit OutputFolder(const std::string& path);
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  bool IsOpen() const;
  int OpenError() const { return openError_; }
  // The folder as given, and a file in it, for messages and for a check
  // that reads a finished file back by path.
  const std::string& Path() const { return path_; }
  std::string PathOf(const std::string& name) const;

  Kind KindOf(const std::string& name) const;
  // Creates `name` for writing only when nothing of that name exists, never
  // following a link; the descriptor, or -1 with errno set (EEXIST when the
  // name is taken).
  int CreateExclusive(const std::string& name) const;
  // Renames `from` to `to` inside the folder; without `replace` it fails
  // when `to` exists, in one step, so that nothing that appeared meanwhile
  // is replaced. False with the reason in `why`.
  bool Rename(const std::string& from, const std::string& to, bool replace, std::string* why) const;
  void Remove(const std::string& name) const;
  // Bytes this user may still write on the folder's file system; the
  // largest value when the system does not tell.
  std::uint64_t AvailableBytes() const;

 private:
  std::string path_;
  int fd_ = -1;  // the directory (POSIX)
  void* handle_ = nullptr;  // the folder's handle (Windows)
  std::string resolved_;    // the folder's final path (Windows)
  int openError_ = 0;
};

// Writing to and closing a descriptor from CreateExclusive: the count
// written or -1 with errno set, and 0 or -1.
long WriteSomeBytes(int fd, const void* data, std::size_t size);
int CloseOutputDescriptor(int fd);

constexpr char kAlreadyExists[] = "already exists (use --force to replace it)";

}  // namespace commands
