// Recording SIGINT and SIGTERM in an async-signal-safe way: the handler
// stores the signal number in a sig_atomic_t and writes one byte to a
// non-blocking pipe, nothing else.
#include "tool/packer/interruption.h"

#include <csignal>
#include <cstdlib>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace packer {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};

volatile std::sig_atomic_t gCaught = 0;
volatile std::sig_atomic_t gWakeWrite = -1;
int gWakeRead = -1;
bool gGuarded = false;

extern "C" void RecordSignal(int signal) {
  gCaught = signal;
#ifndef _WIN32
  const int savedErrno = errno;
  const char byte = 1;
  const int wake = gWakeWrite;
  if (wake >= 0) {
    // A full pipe already wakes the reader; the result does not matter.
    const ssize_t ignored = write(wake, &byte, 1);
    (void)ignored;
  }
  errno = savedErrno;
#endif
}

#ifndef _WIN32
struct sigaction gPrevious[2];
#else
void (*gPrevious[2])(int);
#endif

// Ends the program by `signal` with its default action.
[[noreturn]] void EndBy(int signal) {
  std::signal(signal, SIG_DFL);
#ifndef _WIN32
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
#endif
  std::raise(signal);
  // Only where the default action does not end the program.
  std::_Exit(128 + signal);
}

}  // namespace

InterruptionGuard::InterruptionGuard() {
  gCaught = 0;
#ifndef _WIN32
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    gWakeRead = ends[0];
    gWakeWrite = ends[1];
  }
  struct sigaction action {};
  action.sa_handler = RecordSignal;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 2; ++i) {
    sigaction(kSignals[i], nullptr, &gPrevious[i]);
    if (gPrevious[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
  }
#else
  for (int i = 0; i < 2; ++i) {
    gPrevious[i] = std::signal(kSignals[i], RecordSignal);
    if (gPrevious[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
  }
#endif
  gGuarded = true;
}

InterruptionGuard::~InterruptionGuard() {
  for (int i = 0; i < 2; ++i) {
#ifndef _WIN32
    sigaction(kSignals[i], &gPrevious[i], nullptr);
#else
    std::signal(kSignals[i], gPrevious[i]);
#endif
  }
  gGuarded = false;
#ifndef _WIN32
  if (gWakeRead >= 0) {
    const int writeEnd = gWakeWrite;
    gWakeWrite = -1;
    close(writeEnd);
    close(gWakeRead);
    gWakeRead = -1;
  }
#endif
  const int caught = gCaught;
  if (caught != 0) EndBy(caught);
}

void ThrowIfInterrupted() {
  const int caught = gCaught;
  if (gGuarded && caught != 0) throw Interrupted(caught);
}

int InterruptionWakeDescriptor() { return gGuarded ? gWakeRead : -1; }

}  // namespace packer
