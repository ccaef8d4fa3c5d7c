// RunSideBySide on Windows: the cross toolchain's C++ library has no
// std::thread, so the second piece runs on a thread of CreateThread.
#include <windows.h>

#include "tool/commands/side_by_side.h"

namespace commands {

namespace {

struct Piece {
  const std::function<void()>* work;
  std::exception_ptr thrown;
};

DWORD WINAPI RunPiece(LPVOID parameter) {
  Piece* piece = static_cast<Piece*>(parameter);
  RunKeepingException(*piece->work, piece->thrown);
  return 0;
}

}  // namespace

void RunSideBySide(const std::function<void()>& first, const std::function<void()>& second) {
  std::exception_ptr firstThrew;
  Piece other{&second, nullptr};
  const HANDLE thread = CreateThread(nullptr, 0, RunPiece, &other, 0, nullptr);
  // No thread to be had: in order, then.
  if (thread == nullptr) RunPiece(&other);
  RunKeepingException(first, firstThrew);
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  if (firstThrew) std::rethrow_exception(firstThrew);
  if (other.thrown) std::rethrow_exception(other.thrown);
}

}  // namespace commands
