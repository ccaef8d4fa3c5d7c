// Writing a checked file under a temporary name and renaming it into place.
#include "pack/output_file.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace pack {

namespace {

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  fs::path path_;
};

void RefuseExisting(const fs::path& destination, bool replace) {
  std::error_code error;
  const fs::file_status status = fs::status(destination, error);
  if (fs::is_directory(status)) throw OutputFileError("is a directory");
  if (fs::exists(status) && !replace) throw OutputFileError("already exists (use --force to replace it)");
}

}  // namespace

void WriteCheckedFile(const std::string& destination, const std::vector<std::uint8_t>& bytes, bool replace,
                      const std::function<void(const std::string& temporaryPath)>& check) {
  const fs::path target(destination);
  RefuseExisting(target, replace);
  std::error_code error;
  const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  if (!fs::is_directory(directory, error)) throw OutputFileError("its directory does not exist");

  // Beside the destination, so that the rename stays on one file system.
  std::random_device random;
  TemporaryFile temporary(directory / ("." + target.filename().string() + "." + std::to_string(random()) + ".tmp"));
  {
    std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
    if (!out) throw OutputFileError("cannot create a file in its directory");
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw OutputFileError("cannot write the file");
  }
  check(temporary.path().string());
  // Checked again: the destination may have appeared meanwhile.
  RefuseExisting(target, replace);
  fs::rename(temporary.path(), target, error);
  if (error) throw OutputFileError("cannot rename the written file into place: " + error.message());
  temporary.Release();
}

}  // namespace pack
