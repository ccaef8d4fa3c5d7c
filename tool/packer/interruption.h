// SIGINT and SIGTERM while pack writes its output: while an
// InterruptionGuard lives, the signal is only recorded (and, on POSIX, a
// byte is written to a self-pipe that a waiting loop polls), so that the
// code in progress stops at its next check, the child it runs is killed,
// and the temporary files are removed by the ordinary unwinding; when the
// guard goes, the program ends by the same signal with its default action,
// so that the exit status still says "killed by signal". A signal that
// arrives after the last check (the output already renamed into place)
// ends the program all the same.
#pragma once

#include <exception>

namespace packer {

// Thrown at a check after SIGINT or SIGTERM arrived under a guard. Not an
// errors::Failure: it is no error to print, and no catch of a failure
// must swallow it.
class Interrupted : public std::exception {
 public:
  explicit Interrupted(int signal) : signal_(signal) {}
  int signal() const { return signal_; }
  const char* what() const noexcept override { return "interrupted by a signal"; }

 private:
  int signal_;
};

class InterruptionGuard {
 public:
  // Records SIGINT and SIGTERM from now on; a signal the process ignores
  // stays ignored.
  InterruptionGuard();
  // Gives both signals back the handling they had; then, when one was
  // recorded, ends the program by it. So the guard belongs outside every
  // object that removes a temporary file.
  ~InterruptionGuard();
  InterruptionGuard(const InterruptionGuard&) = delete;
  InterruptionGuard& operator=(const InterruptionGuard&) = delete;
};

// Throws Interrupted when a signal was recorded; does nothing without a guard.
void ThrowIfInterrupted();

// The read end of the self-pipe, readable once a signal was recorded; -1
// without a guard (and on Windows).
int InterruptionWakeDescriptor();

}  // namespace packer
