// The calling thread's CPU time, in seconds: what in-process figures are
// timed by, so that others' load on a shared machine does not count.
#pragma once

#include <time.h>

namespace benchsupport {

inline double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace benchsupport
