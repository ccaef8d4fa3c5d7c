// Mapping the reader's and the packer's failures to saverkit::Error.
#include "libsaverkit/failures.h"

#include <cerrno>
#include <exception>
#include <new>

#include "tool/errors/failure.h"
#include "tool/packer/packer.h"
#include "tool/reader/image_file.h"

namespace saverkit {

void RethrowAsError(const std::string& file) {
  try {
    throw;
  } catch (const reader::ImageError& e) {
    const std::string& named = e.file().empty() ? file : e.file();
    if (e.systemError() != 0) throw Error(ErrorKind::kIo, named, e.what(), e.systemError());
    throw Error(ErrorKind::kDamaged, named, e.what());
  } catch (const errors::Failure& e) {
    // A refused request ends the tool as a usage error; everything else
    // (a stub that cannot carry a payload, a read-back that differs) is
    // damage of what was read.
    const std::string& named = e.file().empty() ? file : e.file();
    throw Error(e.status() == errors::kExitUsageError ? ErrorKind::kBadArgument : ErrorKind::kDamaged, named,
                e.what());
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kIo, file, "out of memory", ENOMEM);
  } catch (const std::exception& e) {
    throw Error(ErrorKind::kDamaged, file, e.what());
  }
}

}  // namespace saverkit
