// RunSideBySide with a standard thread for the second piece.
#include <system_error>
#include <thread>

#include "tool/commands/side_by_side.h"

namespace commands {

void RunSideBySide(const std::function<void()>& first, const std::function<void()>& second) {
  std::exception_ptr firstThrew;
  std::exception_ptr secondThrew;
  std::thread other;
  try {
    other = std::thread([&] { RunKeepingException(second, secondThrew); });
  } catch (const std::system_error&) {
    // No thread to be had: in order, then.
    RunKeepingException(second, secondThrew);
  }
  RunKeepingException(first, firstThrew);
  if (other.joinable()) other.join();
  if (firstThrew) std::rethrow_exception(firstThrew);
  if (secondThrew) std::rethrow_exception(secondThrew);
}

}  // namespace commands
